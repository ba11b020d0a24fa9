// The production executable started as a user would, on the test display.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
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
    ASSERT_TRUE(tapkey("", "Escape"));
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

TEST(Run, SIGINTSIGTERMAndSIGQUITEndItAsEscapeDoesWhileTheMusicPlays) {
    const tempdir dir;
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGQUIT, 131}}) {
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

// Started as a shell may start it. With standard output or error closed it plays to its end
// as with them open (the display's socket once took their number, and the run hung); under a
// file-size limit too low for the OpenCL compiler (dash counts in 512-byte blocks) it says so and ends with status 1, instead
// of dying silently of SIGXFSZ inside the driver.
TEST(Run, ClosedStreamsNeitherHangItNorALowFileSizeLimitEndItSilently) {
    const struct {
        std::string script;
        int status;
        std::string said;
    } starts[] = {
        {"exec \"$@\" >&-", 0, ""},
        {"exec \"$@\" 2>&-", 0, ""},
        {"ulimit -f 2000; exec \"$@\"", 1,
         "quellspire: the file-size limit (ulimit -f) is 1000 KiB, below the 2048 KiB that the OpenCL compiler needs for "
         "its files; raise it (ulimit -f unlimited) and start again\n"},
    };
    for (const auto& s : starts) {
        process run("/bin/sh", {"-c", s.script, "sh", program, "--windowed", "--from", "193.5", "64", "48"}, builddir,
                    {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null"});
        EXPECT_EQ(run.wait(60s), s.status) << s.script << "\n" << run.stderr_();
        if (s.status) EXPECT_EQ(run.stderr_(), s.said);
    }
}

TEST(Run, OneArgumentIsIgnored) {
    process run(program, {"800"}, builddir);
    ASSERT_TRUE(run.waitforoutput("Talvo initialized! Rock on!", 180s)) << run.stdout_() << run.stderr_();
    ASSERT_TRUE(tapkey("", "Escape"));
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
    expectcleanrun(run);
}

// A window that cannot be opened: the fixed line, then its reason once, as the last line.
TEST(Run, AWindowThatCannotOpenEndsWithStatus1AndItsReasonLast) {
    const std::string fixed = "glfwOpenWindow failed, aborting.\n";
    // 65535 is X's limit; the lower one of OpenGL here is not known before the window opens.
    const std::string sides =
        " window cannot be opened: each side must be 1 to 65535 pixels, the window system's limit; OpenGL's own, "
        "checked once the window is open, may be lower.\n";
    const struct {
        std::string environment, args, reason;  // the reason: its start, for what GL allows
        int lines = 2;
    } cases[] = {
        {"", "0 0", "A 0x0" + sides},
        {"", "-5 -5", "A -5x-5" + sides},
        {"", "--windowed 99999 99999", "A 99999x99999" + sides},
        // Beyond what any GL draws into, within what X makes.
        {"", "--windowed 65535 100", "A 65535x100 window is too large: OpenGL draws at most "},
        {"DISPLAY=:99", "", "GLFW: X11: Failed to open display :99\n"},
        {"env -u DISPLAY", "", "GLFW: X11: The DISPLAY environment variable is missing\n"},
        // A driver without OpenGL 3.3: GLFW's reason, then what is needed.
        {"MESA_GL_VERSION_OVERRIDE=3.2", "--windowed 64 48", "GLFW: GLX: Failed to create context", 3},
    };
    for (const auto& c : cases) {
        const shelloutput run = shell(c.environment + " " + program + " --mute " + c.args + " </dev/null 2>&1");
        EXPECT_EQ(run.status, 1) << c.args << "\n" << run.out;
        EXPECT_EQ(run.out.substr(0, fixed.size() + c.reason.size()), fixed + c.reason) << c.args;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), c.lines) << c.args << "\n" << run.out;
        if (c.lines == 3) EXPECT_NE(run.out.find("\nQuellspire needs OpenGL 3.3 core: "), std::string::npos) << run.out;
    }
}

// Without any OpenCL driver, the check's line and then what to install.
TEST(Run, WithoutAnOpenCLDriverItSaysWhatToInstall) {
    const tempdir none;
    const shelloutput run = shell("OCL_ICD_VENDORS=" + none.path().string() + " " + program + " --mute --windowed 64 48 </dev/null 2>&1");
    EXPECT_EQ(run.status, 1) << run.out;
    const std::string end = "at clGetPlatformIDs(0, nullptr, &platform_count) | CLERROR: No platform found\n"
                            "No OpenCL driver is installed: install one (Debian's package pocl-opencl-icd runs on the "
                            "processor; a GPU's own driver is faster).\n";
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), end.size())), end) << run.out;
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
    ASSERT_TRUE(tapkey("", "Escape"));
    EXPECT_EQ(run.wait(30s), 0) << run.stderr_();
}
