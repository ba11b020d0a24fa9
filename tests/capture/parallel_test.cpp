// tools/capture-parallel.sh, the runner of a capture's parts on GNU Parallel, started as a user
// would, here with two parts at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/runs.h"

using namespace talvo::testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> range = {"--size", "64x48", "--fps", "30", "--from", "135.5", "--to", "136.5", "--crf", "0"};

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
    EXPECT_EQ(framemd5(dir / "out.mp4"), framemd5(dir / "whole.mp4"));
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
    fs::create_directory(dir.path() / "out.part-2-of-2.mkv");
    outcome run = runner(joined({"-j", "2", "--", "-o", "out.mp4"}, range), dir.path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("part 2/2\tquellspire-capture: -o: cannot write there: '" + dir / "out.part-2-of-2.mkv" +
                           "' is a directory"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("capture-parallel: part 2/2 ended with status 2 (its messages are above); nothing was joined"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(filenames(dir.path()), std::vector<std::string>{"out.part-2-of-2.mkv"});
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
    };
    for (const auto& c : cases) {
        outcome run = runner(c.args, dir.path());
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find("capture-parallel: " + c.message), std::string::npos) << run.err;
    }
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
