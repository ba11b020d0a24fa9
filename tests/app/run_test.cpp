// The production executable started as a user would, on the test display.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <utility>
#include <string>

#include "support/builddir.h"
#include "support/files.h"
#include "support/process.h"
#include "support/xwindows.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

namespace {

const std::string program = QUELLSPIRE;

// Only the key press is sent: the run ends on it, and its window is gone before a release.
bool pressescape() {
    return std::system("xdotool search --name '^Quellspire$' windowfocus --sync keydown Escape >/dev/null 2>&1") == 0;
}

// Checks that every text appears in `output`, in the given order.
void expectinorder(const std::string& output, std::initializer_list<const char*> texts) {
    size_t at = 0;
    for (const char* text : texts) {
        size_t found = output.find(text, at);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << output;
        if (found != std::string::npos) at = found + 1;
    }
}

void expectcleanrun(process& run) {
    expectinorder(run.stdout_(), {"gl3w initialized successfully.\n", "OpenGL ", " running on ",
                                  "GLSL version: ", "Talvo initialized! Rock on!\n",
                                  "Talvo de-initialized.\n", "Press enter to exit...\n"});
}

}  // namespace

TEST(Run, EndsOnEscapeAfterRunningForAWhile) {
    process run(program, {}, builddir);
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(run.running()) << run.stderr_();
    ASSERT_TRUE(pressescape());
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
    expectcleanrun(run);
}

TEST(Run, EndsOnTheCloseButton) {
    process run(program, {"abc", "600"}, builddir);
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(pressclosebutton());
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
    expectcleanrun(run);
}

TEST(Run, SIGINTAndSIGTERMEndItAsEscapeDoesWhileTheMusicPlays) {
    const tempdir dir;
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        process run(program, {"--windowed", "--from", "180", "320", "180"}, builddir,
                    {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir / "out.raw"});
        ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
        std::this_thread::sleep_for(2s);
        ASSERT_TRUE(run.running()) << run.stderr_();
        kill(run.id(), signal);
        // The production itself would play on for another 12 s.
        EXPECT_EQ(run.wait(8s), status) << signal << "\n" << run.stdout_() << run.stderr_();
        EXPECT_NE(run.stdout_().find("Talvo de-initialized.\n"), std::string::npos) << run.stdout_();
        EXPECT_EQ(run.stdout_().find("Press enter to exit..."), std::string::npos) << run.stdout_();
    }
}

TEST(Run, OneArgumentIsIgnored) {
    process run(program, {"800"}, builddir);
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
    ASSERT_TRUE(pressescape());
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
    expectcleanrun(run);
}

TEST(Run, AWindowThatCannotOpenEndsWithStatus1) {
    process run(program, {"-5", "-5"}, builddir);
    EXPECT_EQ(run.wait(30s), 1);
    EXPECT_NE(run.stdout_().find("glfwOpenWindow failed, aborting.\n"), std::string::npos) << run.stdout_();
    EXPECT_EQ(run.stdout_().find("Press enter to exit..."), std::string::npos);
}

TEST(Run, StartsWithoutItsMusic) {
    // A working directory whose resources lack the music file.
    const tempdir dir;
    process run(program, {}, workdirwithout(dir.path(), builddir, {"sound.flac"}));
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
    EXPECT_NE(run.stderr_().find("at system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | "
                                 "FMOD_2D, 0, &sound) | FMODERROR: "),
              std::string::npos)
        << run.stderr_();
    ASSERT_TRUE(pressescape());
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
}
