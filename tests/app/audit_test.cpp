// The whole production as a user runs it, checked end to end: one run plays to its end with its
// music written by SDL's disk driver, while five more, each on a display of its own, are ended
// in the middle of a scene by a tap of Escape or the window's close button. They run side by
// side, so on this machine every frame is slow, and a tap must still be seen.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/audiotest.h"
#include "support/builddir.h"
#include "support/files.h"
#include "support/process.h"
#include "support/xdisplay.h"
#include "support/xwindows.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

namespace {

const std::string program = QUELLSPIRE;
using clock = std::chrono::steady_clock;

// No check line of any kind, and the run's own progress to its end.
void expectclean(process& run, const std::string& what) {
    const std::string err = run.stderr_();
    for (const char* check : {"GLERROR", "CLERROR", "FTERROR"})
        EXPECT_EQ(err.find(check), std::string::npos) << what << ":\n" << err;
    const std::string out = run.stdout_();
    EXPECT_NE(out.find("Talvo de-initialized.\nPress enter to exit...\n"), std::string::npos) << what << ":\n" << out;
}

struct ending {
    double at;  // seconds after the run's clock started
    bool tap;   // a tap of Escape, or else the close button
    const char* scene;
};

struct endedrun {
    ending how;
    std::unique_ptr<xdisplay> display;
    std::unique_ptr<process> run;
    clock::time_point started{}, sent{};
    bool done = false;
};

TEST(Audit, AWholeRunWithItsMusicAndRunsEndedInEveryScene) {
    const tempdir dir;
    const std::string audio = dir / "audio.raw";
    xdisplay wholedisplay("320x180");
    ASSERT_TRUE(wholedisplay.ready());
    process whole(program, {"320", "180"}, builddir,
                  {"DISPLAY=" + wholedisplay.name(), "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio});

    std::vector<endedrun> runs;
    for (const ending& how : {ending{20, true, "opening"}, ending{70, false, "entryway"}, ending{110, true, "dreamscape"},
                              ending{148, false, "flight"}, ending{178, true, "credits"}}) {
        endedrun r;
        r.how = how;
        r.display = std::make_unique<xdisplay>("320x180");
        ASSERT_TRUE(r.display->ready());
        r.run = std::make_unique<process>(program, std::vector<std::string>{"320", "180"}, builddir,
                                          std::vector<std::string>{"DISPLAY=" + r.display->name(), "SDL_AUDIODRIVER=dummy"});
        runs.push_back(std::move(r));
    }

    // The production clock starts with "Talvo initialized! Rock on!".
    ASSERT_TRUE(whole.waitforoutput("Talvo initialized! Rock on!", 300s)) << whole.stdout_() << whole.stderr_();
    const clock::time_point wholestart = clock::now();
    for (endedrun& r : runs) {
        ASSERT_TRUE(r.run->waitforoutput("Talvo initialized! Rock on!", 300s)) << r.how.scene << r.run->stderr_();
        r.started = clock::now();
    }

    // Each run is ended in its scene and must be over within a few seconds.
    for (endedrun& r : runs) {
        std::this_thread::sleep_until(r.started + std::chrono::milliseconds(int(r.how.at * 1000)));
        ASSERT_TRUE(r.run->running()) << r.how.scene << ": ended before it was told\n" << r.run->stderr_();
        r.sent = clock::now();
        if (r.how.tap)
            EXPECT_TRUE(tapkey(r.display->name(), "Escape")) << r.how.scene;
        else
            EXPECT_TRUE(pressclosebutton(r.display->name())) << r.how.scene;
        EXPECT_EQ(r.run->wait(20s), 0) << r.how.scene << ": " << r.run->stderr_();
        const double took = std::chrono::duration<double>(clock::now() - r.sent).count();
        // Six productions share the machine's cores here, so a frame of the heavier scenes takes
        // seconds; alone, a run ends within a frame and its tear-down.
        EXPECT_LT(took, 15.0) << r.how.scene << " took " << took << " s to end";
        expectclean(*r.run, r.how.scene);
    }

    // The whole run ends by itself after 194 s, plus at most a frame and the tear-down.
    const int status = whole.wait(std::chrono::duration_cast<std::chrono::seconds>(
        wholestart + 240s - clock::now()));
    ASSERT_EQ(status, 0) << whole.stderr_();
    EXPECT_GE(clock::now() - wholestart, 194s);
    expectclean(whole, "the whole run");

    // Its music, as the device received it, is the soundtrack sample for sample from its first
    // sound on (the device writes silence before the music starts). The disk driver writes on
    // its own thread in its own time: on a machine this busy it falls behind the clock, and
    // what it had not written when the run ended is lost, so only most of the music is there.
    const std::vector<float> expected = audiotest::decode(builddir + "/resources/sound.flac");
    const std::vector<float> played = audiotest::readoutput(audio);
    const size_t from = audiotest::firstsound(played), soundfrom = audiotest::firstsound(expected);
    ASSERT_LT(from, played.size() / 2);
    const size_t frames = std::min(played.size() / 2 - from, expected.size() / 2 - soundfrom);
    EXPECT_GT(frames, size_t(44100) * 120) << "the run played most of its music";
    size_t mismatches = 0;
    for (size_t i = 0; i < frames * 2; ++i) mismatches += played[from * 2 + i] != expected[soundfrom * 2 + i];
    EXPECT_EQ(mismatches, 0u) << "over " << frames << " frames";
}

}  // namespace
