// A windowed run resized over and over while its update thread steps dreamscape, on a display
// of the test's own. The window's size reaches the update thread only through the frame's sync;
// built with ThreadSanitizer (tools/sanitize.sh thread), a race on it would end the run with
// the sanitizer's status instead of 0.
#include <gtest/gtest.h>

#include <string>

#include "support/builddir.h"
#include "support/process.h"
#include "support/xdisplay.h"
#include "support/xwindows.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

TEST(Resize, AStormOfResizesDuringDreamscapeLeavesTheRunToEndNormally) {
    xdisplay display("800x600");
    ASSERT_TRUE(display.ready());
    process run(QUELLSPIRE, {"--windowed", "--mute", "--from", "88", "320", "180"}, builddir,
                {"DISPLAY=" + display.name()});
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 600s)) << run.stdout_() << run.stderr_();

    // Thirty sizes, a little apart, so that they fall between many frames and update passes.
    std::string storm = "DISPLAY=" + display.name() + " xdotool search --name '^Quellspire$'";
    for (int i = 1; i <= 30; ++i)
        storm += " windowsize " + std::to_string(200 + 8 * i) + " " + std::to_string(120 + 6 * i) + " sleep 0.05";
    const shelloutput resized = shell(storm + " 2>&1");
    ASSERT_EQ(resized.status, 0) << resized.out;
    const shelloutput size =
        shell("DISPLAY=" + display.name() + " xdotool search --name '^Quellspire$' getwindowgeometry 2>&1");
    EXPECT_NE(size.out.find("Geometry: 440x300"), std::string::npos) << size.out;

    ASSERT_TRUE(tapkey(display.name(), "Escape"));
    EXPECT_EQ(run.wait(600s), 0) << run.stdout_() << run.stderr_();
}
