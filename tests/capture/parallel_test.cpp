// tools/capture-parallel.sh, the runner of a capture's parts on GNU Parallel, started as a user
// would, here with two parts at once; and quellspire-join, which it joins a video's parts with.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "capture/runs.h"

using namespace talvo::testsupport;
namespace fs = std::filesystem;

namespace {

// 29.97 fps: a rate whose frames last no whole number of milliseconds.
const std::vector<std::string> range = {"--size", "64x48", "--fps", "29.97", "--from", "135.5", "--to", "136.5", "--crf", "0"};

// The runner from `workdir` with `args`; it takes relative paths from there.
outcome runner(const std::vector<std::string>& args, const std::string& workdir) {
    std::vector<std::string> command = {runnerscript};
    command.insert(command.end(), args.begin(), args.end());
    return runprogram("/bin/bash", command, workdir);
}

std::vector<std::string> joined(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

}  // namespace

TEST(CaptureParallel, TwoPartsHereMakeOneCapturesVideo) {
    const tempdir dir;
    outcome whole = capture(joined(range, {"-o", dir / "whole.mp4"}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    outcome run = runner(joined({"-j", "2", "--", "-o", "out.mp4"}, range), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    // The same frames at the same time stamps, and the same rate and time base in the container.
    EXPECT_EQ(framemd5(dir / "out.mp4"), framemd5(dir / "whole.mp4"));
    for (const char* entry : {"r_frame_rate", "avg_frame_rate", "time_base"})
        EXPECT_EQ(probe(dir / "out.mp4", "v:0", entry), probe(dir / "whole.mp4", "v:0", entry)) << entry;
    EXPECT_EQ(probe(dir / "out.mp4", "a:0", "codec_name"), "aac");
    // Each part's progress, marked, and the whole run's.
    EXPECT_NE(run.err.find("part 2/2\tfast-forwarded 15 frames"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("part 1/2\tcaptured 15 frames"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("capture-parallel: 2 of 2 parts done, 30 of 30 frames"), std::string::npos) << run.err;
    // Nothing but the two videos is left.
    EXPECT_EQ(filenames(dir.path()), (std::vector<std::string>{"out.mp4", "whole.mp4"}));
}

TEST(CaptureParallel, AFailingPartFailsTheRunWithItsMessageAndNothingIsJoined) {
    const tempdir dir;
    // Where the second part's segment goes stands a directory: that part cannot write.
    fs::create_directory(dir.path() / "out.part-2-of-2.mp4");
    outcome run = runner(joined({"-j", "2", "--", "-o", "out.mp4"}, range), dir.path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("part 2/2\tquellspire-capture: -o: cannot write there: '" + dir / "out.part-2-of-2.mp4" +
                           "' is a directory"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("capture-parallel: part 2/2 ended with status 2 (its messages are above); nothing was joined"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(filenames(dir.path()), std::vector<std::string>{"out.part-2-of-2.mp4"});
}

TEST(CaptureParallel, BadArgumentsEndWithTheirMessageAndStatus2) {
    const tempdir dir;
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--", "-o", "out.mp4"}, "-j needs a number of parts"},
        {{"-j", "0", "--", "-o", "out.mp4"}, "-j needs a number of parts"},
        {{"-j", "2", "-o", "out.mp4"}, "unexpected '-o' before --"},
        {{"-j", "2", "--", "--part", "1/2", "-o", "out.mp4"}, "--part is given to each part by the runner"},
        {{"-j", "2", "--", "--stats", "s.json", "-o", "out.mp4"}, "--stats is for one capture"},
        {{"-j", "2", "--", "--size", "64x48"}, "no output"},
        {{"-j", "2", "--", "-o", "%d/f.png"}, "-o: the frame number of a PNG pattern belongs in the file name"},
        {{"-j", "2", "--", "-o", "missing/out.mp4"}, "-o: cannot write into"},
        // The capture's own options are checked once, before any part starts.
        {{"-j", "2", "--", "-o", "out.mp4", "--fps", "0"}, "--fps: '0' is not a frame rate"},
        {{"-j", "4", "--", "-o", "out.mp4", "--frames", "2"}, "--part: the range has only 2 frames, too few for 4 parts"},
        {{"-j", "2", "--", "-o", "out.mp4", "--fps"}, "--fps needs a value"},
        {{"-j", "2", "--", "-o", "a.mp4", "--output=b.mp4"}, "-o is given twice"},
        {{"-j", "2", "--", "-oout.mp4", "--fps", "0"}, "--fps: '0' is not a frame rate"},
    };
    for (const auto& c : cases) {
        outcome run = runner(c.args, dir.path());
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find("capture-parallel: " + c.message), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    // Asked for, the check of the options is all it does.
    outcome checked = runner({"-j", "2", "--", "-oout.mp4", "--frames", "4", "--dry-run"}, dir.path());
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CaptureParallel, TwoPartsHereWriteOneCapturesPngFiles) {
    const tempdir dir;
    const std::vector<std::string> stills = {"--size", "64x48", "--fps", "10", "--from", "27.5", "--to", "28.5"};
    fs::create_directory(dir.path() / "whole");
    fs::create_directory(dir.path() / "parts");
    outcome whole = capture(joined(stills, {"-o", dir / "whole/f%03d.png"}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    outcome run = runner(joined({"-j", "2", "--", "-o", "parts/f%03d.png"}, stills), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> names = filenames(dir.path() / "whole");
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(filenames(dir.path() / "parts"), names);
    for (const std::string& name : names) EXPECT_EQ(slurp(dir / ("parts/" + name)), slurp(dir / ("whole/" + name))) << name;
}

// A signal to the runner, to all of its processes at once (Ctrl-C), or one that ends a part
// ends every part and every ffmpeg and removes the segments: the run says "interrupted" and
// ends by that signal, and no process of it is left.
TEST(CaptureParallel, ASignalEndsEveryPartAndLeavesNothing) {
    enum class to { runner, group, part };
    const struct {
        to whom;
        int signal;
    } cases[] = {{to::runner, SIGINT}, {to::group, SIGINT}, {to::part, SIGTERM}};
    for (const auto& c : cases) {
        const tempdir dir;
        // A process group of its own, as a shell gives a job.
        process run("/usr/bin/setsid",
                    {"/bin/bash", runnerscript, "-j", "2", "--", "-o", "out.mp4", "--size", "64x48", "--fps", "10", "--to", "56"},
                    dir.path());
        for (const char* drawing : {"part 1/2\tframe 1 of", "part 2/2\tframe 1 of"})
            ASSERT_TRUE(run.waitforerror(drawing, std::chrono::seconds(300))) << run.stderr_();
        const pid_t runner = run.id();
        if (c.whom == to::runner) kill(runner, c.signal);
        if (c.whom == to::group) kill(-runner, c.signal);
        if (c.whom == to::part)
            for (const auto& [pid, command] : processeswith(dir.path()))
                if (command.rfind("./quellspire-capture ", 0) == 0 && command.find("--part 2/2") != std::string::npos)
                    kill(pid, c.signal);
        const int whom = static_cast<int>(c.whom);
        EXPECT_EQ(run.wait(std::chrono::seconds(300)), 128 + c.signal) << whom << "\n" << run.stderr_();
        EXPECT_NE(run.stderr_().find("capture-parallel: interrupted"), std::string::npos) << whom << "\n" << run.stderr_();
        EXPECT_EQ(run.stderr_().find("nothing was joined"), std::string::npos) << whom << "\n" << run.stderr_();
        EXPECT_EQ(filenames(dir.path()), std::vector<std::string>{}) << whom;
        EXPECT_EQ(processeswith(dir.path()), (std::map<pid_t, std::string>{})) << whom;
        errno = 0;
        EXPECT_TRUE(kill(-runner, 0) != 0 && errno == ESRCH) << whom << ": a process of the runner's group is left";
    }
}

// The join is a tool of its own: its command line refused in one line naming the fault, with
// status 2, before anything is probed or written.
TEST(Join, BadArgumentsEndWithTheirMessageAndStatus2) {
    const tempdir dir;
    const std::string join = builddir + "/quellspire-join";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"out.mp4"}, "the join needs the output and at least one segment: quellspire-join OUT SEGMENTS..."},
        {{"out.avi", "a.mkv"}, "'out.avi' is not an .mp4 or .mkv video"},
        {{"out.mp4", "missing.mkv"}, "cannot read the segment 'missing.mkv'"},
        {{"a\nb.mp4", "missing.mkv"}, "cannot write there: the name holds a control character (0x0a)"},
    };
    for (const auto& c : cases) {
        outcome run = runprogram(join, c.args, dir.path());
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.err, "quellspire-join: " + c.message + "\nTry 'quellspire-join --help'.\n");
    }
    outcome help = runprogram(join, {"out.mp4", "--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: quellspire-join OUT SEGMENTS...", 0), 0u) << help.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}
