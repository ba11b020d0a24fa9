// The ways a run can end besides its own end, each on a display of the test's own: the display
// taken away, the window destroyed from outside, and a window too large for the screen.
#include <gtest/gtest.h>

#include <string>

#include "support/builddir.h"
#include "support/process.h"
#include "support/xdisplay.h"
#include "support/xwindows.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

namespace {

const std::string program = QUELLSPIRE;

// The production on `display`, silent, once it is running.
class run {
public:
    run(const xdisplay& display, std::vector<std::string> args)
        : p(program, args, builddir, {"DISPLAY=" + display.name(), "SDL_AUDIODRIVER=dummy"}) {}
    bool started() { return p.waitforoutput("Talvo initialized! Rock on!", 180s); }
    process p;
};

TEST(Ending, LosingTheDisplayEndsAtOnceWithStatus1AndOneLine) {
    xdisplay display;
    ASSERT_TRUE(display.ready());
    run r(display, {"320", "180"});
    ASSERT_TRUE(r.started()) << r.p.stdout_() << r.p.stderr_();
    display.stop();
    EXPECT_EQ(r.p.wait(30s), 1) << r.p.stdout_() << r.p.stderr_();
    // The line that says why is the last on standard error, as after any other failure.
    const std::string err = r.p.stderr_();
    const std::string why = "Lost the window or its display (the connection to the X server was closed), aborting.\n";
    EXPECT_TRUE(err.size() >= why.size() && err.compare(err.size() - why.size(), why.size(), why) == 0) << err;
    EXPECT_EQ(r.p.stdout_().find("Press enter to exit..."), std::string::npos);
}

TEST(Ending, AWindowDestroyedFromOutsideEndsAtOnceWithStatus1) {
    xdisplay display;
    ASSERT_TRUE(display.ready());
    run r(display, {"320", "180"});
    ASSERT_TRUE(r.started()) << r.p.stdout_() << r.p.stderr_();
    const shelloutput closed = shell("DISPLAY=" + display.name() + " xdotool search --name '^Quellspire$' windowclose");
    ASSERT_EQ(closed.status, 0) << closed.out;
    EXPECT_EQ(r.p.wait(30s), 1) << r.p.stdout_() << r.p.stderr_();
    EXPECT_NE(r.p.stderr_().find("Lost the window or its display (X error: "), std::string::npos) << r.p.stderr_();
}

TEST(Ending, AFullScreenWindowLargerThanTheScreenIsFittedToIt) {
    xdisplay display("640x480");
    ASSERT_TRUE(display.ready());
    run r(display, {"99999", "99999"});
    ASSERT_TRUE(r.started()) << r.p.stdout_() << r.p.stderr_();
    EXPECT_NE(r.p.stderr_().find("A 99999x99999 window does not fit the 640x480 screen; using the screen's size.\n"),
              std::string::npos)
        << r.p.stderr_();
    // It keeps drawing: a tap of Escape ends it normally.
    ASSERT_TRUE(tapkey(display.name(), "Escape"));
    EXPECT_EQ(r.p.wait(30s), 0) << r.p.stdout_() << r.p.stderr_();
    EXPECT_EQ(r.p.stderr_().find("X_"), std::string::npos) << r.p.stderr_();
}

}  // namespace
