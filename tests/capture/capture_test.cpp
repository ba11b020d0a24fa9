// quellspire-capture started as a user would, on the test display, with the real ffmpeg and
// ffprobe reading its videos back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/runs.h"
#include "support/pictures.h"

using namespace talvo::testsupport;
namespace fs = std::filesystem;

TEST(Capture, SameRangeGivesIdenticalPngFilesOnePerFrame) {
    const tempdir dir;
    fs::create_directory(dir.path() / "a");
    fs::create_directory(dir.path() / "b");
    for (const char* which : {"a", "b"}) {
        outcome run = capture({"--size", "64x48", "--fps", "20", "--from", "10", "--to", "10.5", "-o",
                               dir / (std::string(which) + "/frame%05d.png")});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("captured 10 frames"), std::string::npos) << run.err;
    }
    std::vector<std::string> names = filenames(dir.path() / "a");
    ASSERT_EQ(names.size(), 10u);  // 0.5 s at 20 frames per second
    EXPECT_EQ(names.front(), "frame00000.png");
    EXPECT_EQ(names.back(), "frame00009.png");
    for (const std::string& name : names)
        EXPECT_EQ(slurp(dir / ("a/" + name)), slurp(dir / ("b/" + name))) << name << " differs";

    const picture first = readpng(dir / "a/frame00000.png");
    EXPECT_EQ(first.width, 64);
    EXPECT_EQ(first.height, 48);
}

// The update steps of a frame run on their own thread while the frame before is displayed
// and written; --steps serial runs them in between, one thing after another. Both give the
// same frames byte for byte and the same counts of frames and steps per scene: across the
// switches into dreamscape and into flight, which happen in a sync between two frames' steps,
// and inside dreamscape, whose steps are the dearest. The video at --crf 0 holds the frames
// exactly.
TEST(Capture, OverlappedStepsGiveTheFramesOfSerialStepsByteForByte) {
    const struct {
        std::vector<std::string> range;
        const char* output;
    } runs[] = {
        {{"--from", "87.5", "--to", "88.5"}, "f%03d.png"},
        {{"--from", "100", "--to", "100.5"}, "f%03d.png"},
        {{"--from", "135.5", "--to", "136.5", "--crf", "0"}, "video.mkv"},
    };
    // The counts of a statistics file, without the timings.
    auto counts = [](const std::string& stats) {
        const nlohmann::json scenes = nlohmann::json::parse(stats)["scenes"];
        std::string out;
        for (const auto& [name, scene] : scenes.items())
            out += name + " " + scene["frames"].dump() + " " + scene["steps"].dump() + "\n";
        return out;
    };
    for (const auto& run : runs) {
        const tempdir dir;
        std::string stats[2];
        for (const char* steps : {"overlapped", "serial"}) {
            fs::create_directory(dir.path() / steps);
            std::vector<std::string> args = {"--size", "64x48", "--fps", "30", "--steps", steps, "-o",
                                             dir / (std::string(steps) + "/" + run.output), "--stats",
                                             dir / (std::string(steps) + ".json")};
            args.insert(args.end(), run.range.begin(), run.range.end());
            outcome done = capture(args);
            ASSERT_EQ(done.status, 0) << done.err;
            stats[steps[0] == 's'] = counts(slurp(dir / (std::string(steps) + ".json")));
        }
        const std::string what = testing::PrintToString(run.range);
        EXPECT_NE(stats[0], "") << what;
        EXPECT_EQ(stats[0], stats[1]) << what;
        const std::vector<std::string> names = filenames(dir.path() / "serial");
        EXPECT_EQ(filenames(dir.path() / "overlapped"), names) << what;
        if (names.size() == 1) {
            const std::string frames = framemd5(dir / ("serial/" + names[0]));
            EXPECT_NE(frames.find("0,         29,"), std::string::npos) << frames;
            EXPECT_EQ(framemd5(dir / ("overlapped/" + names[0])), frames) << what;
        } else {
            for (const std::string& name : names)
                EXPECT_EQ(slurp(dir / ("overlapped/" + name)), slurp(dir / ("serial/" + name))) << name << " of " << what;
        }
    }
}

TEST(Capture, StartingAt56SecondsShowsTheSecondScene) {
    const tempdir dir;
    outcome run = capture({"--size", "64x48", "--from", "56.0", "--frames", "1", "-o", dir / "f%d.png", "--stats",
                           dir / "stats.json", "--verbose"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("file resources/"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir / "f0.png"));
    EXPECT_FALSE(fs::exists(dir / "f1.png"));
    const nlohmann::json file = nlohmann::json::parse(slurp(dir / "stats.json"));
    const nlohmann::json& stats = file["scenes"];
    EXPECT_EQ(stats["entryway"]["frames"], 1) << stats;
    // The timeline: the one drawn frame, at its production time, after the steps it ran.
    ASSERT_EQ(file["timeline"].size(), 1u) << file;
    EXPECT_EQ(file["timeline"][0][0], 56.0) << file;
    EXPECT_GT(file["timeline"][0][1], 0.0) << file;
    EXPECT_TRUE(stats["entryway"].contains("update_mean_ms")) << stats;
    // The step at 56.000 s itself still belongs to the first scene, as in a full run; its
    // frames do not.
    EXPECT_EQ(stats.value("opening", nlohmann::json::object()).value("frames", 0), 0) << stats;
    EXPECT_NE(run.err.find("(entryway 56.000 s)"), std::string::npos) << run.err;
}

// Whatever the rate, a frame shows the production at its own moment, on both sides of every
// cut. A 30 fps capture from 0.2 s before the cut is the reference: a frame whose steps end
// where a reference frame's do is that frame byte for byte (the higher rates start where it
// does; a low rate's frame 0.1 s after the cut comes after a whole period of steps, and the
// scene just entered has no past); every frame is lit where its scene is, and counted to the
// scene of its moment.
TEST(Capture, AtAnyRateEachFrameShowsItsMomentOnBothSidesOfACut) {
    const struct {
        int cut;
        const char *before, *after;
        std::vector<std::pair<const char*, double>> rates;  // as given, and in frames per second
    } cuts[] = {
        {56, "opening", "entryway", {{"1/8", 0.125}, {"7", 7}, {"144", 144}}},
        {88, "entryway", "dreamscape", {{"1/4", 0.25}, {"24", 24}}},
        {136, "dreamscape", "flight", {{"1", 1}, {"29.97", 29.97}}},
        {160, "flight", "credits", {{"1/4", 0.25}, {"60", 60}}},
    };
    auto lit = [](const picture& p) { return std::any_of(p.rgb.begin(), p.rgb.end(), [](uint8_t v) { return v > 0; }); };
    // The end of the steps a frame at `ms` runs, as the capture reckons it.
    auto stepend = [](int64_t ms) { return ms - ms % 25 + 50; };
    auto decimal = [](double seconds) {
        std::ostringstream text;
        text << std::fixed << std::setprecision(3) << seconds;
        return text.str();
    };
    for (const auto& c : cuts) {
        const tempdir dir;
        fs::create_directory(dir.path() / "ref");
        const std::string start = decimal(c.cut - 0.2);
        const std::vector<picture> reference =
            talvo::testsupport::capture(dir.path() / "ref", {"--size", "160x90", "--fps", "30", "--from", start, "--to", decimal(c.cut + 0.3)});
        ASSERT_EQ(reference.size(), 15u) << c.cut;
        std::map<int64_t, const picture*> bystep;
        for (size_t k = 0; k < reference.size(); ++k)
            bystep[stepend(std::llround((c.cut - 0.2) * 1000 + k * 1000.0 / 30))] = &reference[k];
        for (const auto& [rate, fps] : c.rates) {
            const std::string what = std::to_string(c.cut) + " s at " + rate + " fps";
            // A low rate's three frames: two periods and one before the last, 0.1 s after the cut.
            const bool low = fps < 2;
            const double from = low ? c.cut + 0.1 - 2 / fps : c.cut - 0.2;
            const std::string runs = dir / rate;
            fs::create_directories(runs);
            std::vector<std::string> args = {"--size", "160x90", "--fps", rate, "--from", decimal(from), "--stats", runs + "/stats.json"};
            for (const std::string& a : low ? std::vector<std::string>{"--frames", "3"} : std::vector<std::string>{"--to", decimal(c.cut + 0.3)})
                args.push_back(a);
            const std::vector<picture> frames = talvo::testsupport::capture(runs, args);
            ASSERT_FALSE(frames.empty()) << what;
            int after = 0, compared = 0;
            for (size_t k = 0; k < frames.size(); ++k) {
                const int64_t ms = std::llround(std::floor(from * 1000 + k * 1000 / fps + 0.5));
                after += ms >= c.cut * 1000;
                // The entryway's ribbons start as points at the hub: its first 0.25 s are dark.
                if (!(c.cut == 56 && ms >= 56000 && ms < 56250)) EXPECT_TRUE(lit(frames[k])) << "frame " << k << " of " << what;
                auto same = bystep.find(stepend(ms));
                if (same != bystep.end() && (!low || ms >= c.cut * 1000)) {
                    ++compared;
                    EXPECT_TRUE(frames[k].rgb == same->second->rgb) << "frame " << k << " at " << ms << " ms of " << what;
                }
            }
            EXPECT_GT(compared, 0) << what;
            const std::string stats = slurp(runs + "/stats.json");
            EXPECT_EQ(scenefigure(stats, c.before, "frames"), int(frames.size()) - after) << what;
            EXPECT_EQ(scenefigure(stats, c.after, "frames"), after) << what;
        }
    }
}

// At its start a capture removes what runs that ended without a trace (kill -9) left in its
// output's directory: files named as its unfinished ones, of a process that is gone, and
// marked as a capture marks its own. Nothing else, whatever its name: a user's notes, or a
// file of that name without the mark. It writes any name the directory takes; and the
// engine's list of the files it loads waits for --verbose.
TEST(Capture, StartsCleanTakesLongNamesAndListsLoadedFilesOnlyWhenVerbose) {
    const tempdir dir;
    const std::string token = "0123456789abcdef", gone = ".unfinished-2147483647-1-" + token + "-f.mp4",
                      unmarked = ".unfinished-2147483647-2-" + token + "-f.mp4",
                      live = ".unfinished-" + std::to_string(getpid()) + "-1-" + token + "-f.mp4",
                      notes = ".unfinished-99999-1-notes.txt";
    fs::create_directory(dir.path() / "sub");
    for (const std::string& name : {gone, unmarked, live, notes, std::string(".unfinished-notes.mp4"), "sub/" + gone}) {
        std::ofstream(dir / name) << "left";
        if (name != unmarked && name != notes)
            ASSERT_EQ(setxattr((dir / name).c_str(), "user.quellspire.unfinished", token.data(), token.size(), 0), 0);
    }
    const std::string longname = std::string(245, 'f');  // 250 bytes with "0.png"
    outcome run = capture({"--size", "64x48", "--frames", "1", "-o", dir / (longname + "%d.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> left = {unmarked, live, notes, ".unfinished-notes.mp4", longname + "0.png", "sub"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(filenames(dir.path()), left);
    EXPECT_TRUE(fs::exists(dir / ("sub/" + gone)));
    EXPECT_EQ(run.out.find(" loaded"), std::string::npos) << run.out;
}

TEST(Capture, VideoHasTheRangesLengthFramesAndMusic) {
    const tempdir dir;
    std::string workdir = nomusic(dir);
    // Music shorter than the range: the production plays it in a loop, so does the video.
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -f lavfi -i sine=frequency=440:duration=0.7 '" +
                           workdir + "/resources/sound.flac'")
                              .c_str()),
              0);
    outcome run = capture({"-o", dir / "two.mp4", "--size", "64x48", "--fps", "25", "--from", "1", "--to", "3"}, workdir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string video = dir / "two.mp4";
    EXPECT_NEAR(std::stod(probe(video, "", "duration")), 2.0, 0.05);
    EXPECT_EQ(probe(video, "v:0", "nb_read_frames"), "50");
    EXPECT_EQ(probe(video, "v:0", "codec_name"), "h264");
    EXPECT_EQ(probe(video, "v:0", "pix_fmt"), "yuv420p");
    EXPECT_EQ(probe(video, "a:0", "codec_name"), "aac");
    EXPECT_NEAR(std::stod(probe(video, "a:0", "duration")), 2.0, 0.05);
    // Still music at its end, past the file's own length.
    std::string level = shell("ffmpeg -hide_banner -i '" + video +
                              "' -af atrim=start=1.5,volumedetect -f null - 2>&1 | grep -o 'mean_volume: [-0-9.]*'")
                            .out;
    ASSERT_FALSE(level.empty());
    EXPECT_GT(std::stod(level.substr(level.find(':') + 1)), -40.0) << level;

    // A last frame that would last past the production's end ends there, and so does its music.
    for (const std::string video : {"last.mp4", "last.mkv"}) {
        run = capture({"-o", dir / video, "--size", "64x48", "--fps", "1/4", "--from", "188", "--frames", "2"}, workdir);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NEAR(std::stod(probe(dir / video, "", "duration")), 6.0, 0.05) << video;
        EXPECT_EQ(probe(dir / video, "v:0", "nb_read_frames"), "2") << video;
    }
    EXPECT_NEAR(std::stod(probe(dir / "last.mp4", "a:0", "duration")), 6.0, 0.05);
    // Frames reordered for decoding: the last shown is not the last decoded.
    run = capture({"-o", dir / "reordered.mp4", "--size", "64x48", "--fps", "7", "--from", "193.5"}, workdir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(std::stod(probe(dir / "reordered.mp4", "", "duration")), 0.5, 0.01);
    // So it does where parts are joined.
    for (const char* part : {"1/2", "2/2"}) {
        run = capture({"-o", dir / ("part" + std::string(part, 1) + ".mkv"), "--size", "64x48", "--fps", "1/4",
                       "--from", "188", "--frames", "2", "--part", part},
                      workdir);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    run = capture({"--join", dir / "joined.mp4", dir / "part1.mkv", dir / "part2.mkv"}, workdir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(std::stod(probe(dir / "joined.mp4", "", "duration")), 6.0, 0.05);
}

TEST(Capture, VideoWithoutItsMusicFileIsMadeSilentWithAWarning) {
    const tempdir dir;
    outcome run = capture({"-o", dir / "silent.mkv", "--size", "64x48", "--fps", "10", "--frames", "5"}, nomusic(dir));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: resources/sound.flac not found: the video has no music"), std::string::npos)
        << run.err;
    EXPECT_EQ(probe(dir / "silent.mkv", "v:0", "nb_read_frames"), "5");
    EXPECT_EQ(probe(dir / "silent.mkv", "a", "codec_type"), "");
}

TEST(Capture, WithoutFfmpegAVideoEndsWithStatus1BeforeAnyWindow) {
    const tempdir dir;
    outcome run = capture({"-o", dir / "out.mp4", "--frames", "1"}, builddir, {"PATH=/nonexistent"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("quellspire-capture: ffmpeg not found"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("gl3w initialized successfully."), std::string::npos) << run.out;
}

// Without a display a window could not open at all, so status 2 shows that none was tried.
TEST(Capture, BadOptionsEndWithTheirMessageAndStatus2BeforeAnyWindow) {
    const tempdir dir;
    std::ofstream(dir / "file") << "a file, not a directory";
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--size", "0x0", "-o", dir / "f%d.png"}, "quellspire-capture: --size: '0x0' is not a size WxH"},
        {{"--fps", "-1", "-o", dir / "f%d.png"}, "quellspire-capture: --fps: '-1' is not a frame rate"},
        {{"--from", "200", "-o", dir / "f%d.png"}, "quellspire-capture: --from: 200 s is not before the production's end"},
        {{"-o", dir / "file/f%d.png"}, "quellspire-capture: -o: cannot write there: '" + dir / "file" + "' is not a directory"},
        {{"-o", dir / "missing/out.mp4"}, "-o: cannot write there: directory '" + dir / "missing" + "' does not exist"},
        // Only a regular file is ever replaced, and every frame of the range is checked as the
        // first is.
        {{"-o", dir / "link.mp4"}, "-o: cannot write there: '" + dir / "link.mp4" + "' is not a regular file but a symbolic link"},
        {{"-o", dir / "fifo.mkv"}, "-o: cannot write there: '" + dir / "fifo.mkv" + "' is not a regular file but a FIFO"},
        {{"--frames", "3", "-o", dir / "g%d.png"}, "-o: cannot write there: '" + dir / "g2.png" + "' is not a regular file"},
        {{"-o", dir / "f%d.png", "--stats", "/dev/stdout"}, "--stats: cannot write there: '/dev/stdout' is not a regular file"},
        {{"-o", dir / ".unfinished-99999-1-f.mp4"}, "-o: cannot write there: '.unfinished-99999-1-f.mp4' is named as the capture's unfinished files are"},
        {{"-o", dir / "a\nb.mp4"}, "-o: cannot write there: the name holds a control character (0x0a)"},
    };
    fs::create_symlink(dir / "file", dir / "link.mp4");
    fs::create_symlink(dir / "file", dir / "g2.png");
    ASSERT_EQ(mkfifo((dir / "fifo.mkv").c_str(), 0600), 0);
    for (const auto& c : cases) {
        outcome run = capture(c.args, builddir, {"DISPLAY="});
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Try 'quellspire-capture --help'."), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(slurp(dir / "file"), "a file, not a directory");
    EXPECT_TRUE(fs::is_symlink(dir / "link.mp4") && fs::is_fifo(dir / "fifo.mkv"));

    outcome help = capture({"--help"}, builddir, {"DISPLAY="});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quellspire-capture -o PATH [options]"), std::string::npos);
    EXPECT_NE(help.out.find("initial cloud"), std::string::npos);
}

namespace {

// What a failed or interrupted capture said beyond its progress lines.
std::vector<std::string> said(const std::string& err) {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("frame ", 0) != 0 && line.rfind("captured ", 0) != 0) lines.push_back(line);
    return lines;
}

}  // namespace

// A signal ends a capture at once, with one line; its ffmpeg ends with it, and neither a
// video nor a file of ffmpeg's is left.
TEST(CaptureStops, ASignalEndsAVideoCaptureAndLeavesNothing) {
    for (int signal : {SIGINT, SIGHUP, SIGQUIT}) {
        const tempdir dir, scratch;
        // Its temporary directory, where ffmpeg's messages once went.
        process run(captureprogram, {"--size", "64x48", "--fps", "30", "--to", "56", "-o", dir / "x.mp4"}, builddir,
                    {"TMPDIR=" + scratch.path().string()});
        ASSERT_TRUE(run.waitforerror("frame 1 of", std::chrono::seconds(300))) << run.stderr_();
        kill(run.id(), signal);
        EXPECT_EQ(run.wait(std::chrono::seconds(60)), 128 + signal);
        EXPECT_EQ(said(run.stderr_()), std::vector<std::string>{"quellspire-capture: interrupted"}) << run.stderr_();
        EXPECT_EQ(filenames(dir.path()), std::vector<std::string>{});
        EXPECT_EQ(processeswith(dir.path()), (std::map<pid_t, std::string>{}));
        EXPECT_EQ(filenames(scratch.path()), std::vector<std::string>{});
    }
}

// What another user puts where a run writes is never written through, waited on or removed:
// a symbolic link to a victim, or a FIFO, at the name a run's temporary file would once have
// had (its process number, known here before the run starts). The run writes its own file.
TEST(CaptureStops, NodesPlantedAtAPredictableTemporaryNameAreLeftAlone) {
    for (const bool fifo : {false, true}) {
        const tempdir dir;
        std::ofstream(dir / "victim") << "victim";
        // The run starts once the node is planted; exec keeps the shell's process number.
        process run("/bin/sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.02; done; exec \"$@\"", dir / "go", captureprogram,
                                "--size", "64x48", "--frames", "1", "-o", dir / "f%d.png"},
                    builddir);
        const std::string planted = dir / (".unfinished-" + std::to_string(run.id()) + "-1-f0.png");
        if (fifo)
            ASSERT_EQ(mkfifo(planted.c_str(), 0666), 0);
        else
            fs::create_symlink(dir / "victim", planted);
        std::ofstream(dir / "go");
        ASSERT_EQ(run.wait(std::chrono::seconds(60)), 0) << run.stderr_();
        EXPECT_EQ(slurp(dir / "victim"), "victim");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "f0.png")));
        EXPECT_EQ(readpng(dir / "f0.png").width, 64);
        EXPECT_TRUE(fifo ? fs::is_fifo(planted) : fs::is_symlink(planted)) << planted;
    }
}

// The output's directory moved away during a run: the run fails, and leaves no unfinished
// file in the directory where it went.
TEST(CaptureStops, AnOutputDirectoryMovedDuringTheRunKeepsNoUnfinishedFile) {
    const tempdir dir;
    fs::create_directory(dir.path() / "out");
    process run(captureprogram, {"--size", "64x48", "--fps", "30", "--frames", "150", "-o", dir / "out/x.mkv"}, builddir);
    ASSERT_TRUE(run.waitforerror("frame 1 of", std::chrono::seconds(120))) << run.stderr_();
    fs::rename(dir / "out", dir / "moved");
    EXPECT_EQ(run.wait(std::chrono::seconds(120)), 1) << run.stderr_();
    EXPECT_EQ(filenames(dir.path() / "moved"), std::vector<std::string>{});
}

// The capture and the join of its one segment, started as a shell may start them. With
// standard output and error closed, the capture does not hang (the display's socket once took
// their numbers) and the join's messages do not go into its video. An ffprobe that cannot
// even start (the memory limit too low to load it) fails the join with status 1, not as a bad
// segment.
TEST(CaptureStops, AJoinOfOneSegmentWithClosedStreamsOrWithoutFfprobeSaysSoRightly) {
    const tempdir dir;
    auto shell = [](const std::string& program, std::vector<std::string> args, const std::string& script) {
        args.insert(args.begin(), {"-c", script, "sh", program});
        process run("/bin/sh", args, builddir);
        const int status = run.wait(std::chrono::seconds(120));
        return outcome{status, run.stdout_(), run.stderr_()};
    };
    const std::string join = builddir + "/quellspire-join";
    ASSERT_EQ(shell(captureprogram, {"--size", "64x48", "--frames", "1", "--part", "1/1", "-o", dir / "seg.mkv"},
                    "exec \"$@\" >&- 2>&-").status, 0);
    ASSERT_EQ(shell(join, {dir / "closed.mkv", dir / "seg.mkv"}, "exec \"$@\" 2>&-").status, 0);
    EXPECT_EQ(probe(dir / "closed.mkv", "v:0", "nb_read_frames"), "1");
    const outcome joined = shell(join, {dir / "joined.mkv", dir / "seg.mkv"}, "exec \"$@\"");
    EXPECT_EQ(joined.err, "joined 1 segment, 1 frame, into " + dir / "joined.mkv" + "\n");
    const outcome starved = shell(join, {dir / "starved.mkv", dir / "seg.mkv"}, "ulimit -v 60000; exec \"$@\"");
    EXPECT_EQ(starved.status, 1) << starved.err;
    EXPECT_EQ(starved.err.rfind("quellspire-join: ffprobe failed: exit status 127", 0), 0u) << starved.err;
}

// A capture that loses its display ends at once (a failure that skips the run's unwinding):
// its ffmpeg ends with it, and no video is left.
TEST(CaptureStops, LosingTheDisplayEndsAVideoCaptureAndLeavesNothing) {
    const tempdir dir;
    process run(std::string(TALVO_SOURCE_DIR) + "/tools/with-display.sh",
                {captureprogram, "--size", "64x48", "--fps", "30", "--to", "56", "-o", dir / "x.mp4"}, builddir, {"DISPLAY="});
    ASSERT_TRUE(run.waitforerror("frame 1 of", std::chrono::seconds(300))) << run.stderr_();
    // The display the script started for it.
    for (const auto& [pid, command] : processeswith("Xvfb -displayfd")) {
        std::istringstream stat(slurp("/proc/" + std::to_string(pid) + "/stat"));
        std::string id, name, state;
        pid_t parent = 0;
        stat >> id >> name >> state >> parent;
        if (parent == run.id()) kill(pid, SIGKILL);
    }
    EXPECT_EQ(run.wait(std::chrono::seconds(60)), 1) << run.stderr_();
    EXPECT_NE(run.stderr_().find("Lost the window or its display"), std::string::npos) << run.stderr_();
    EXPECT_EQ(filenames(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(processeswith(dir.path()), (std::map<pid_t, std::string>{}));
}

// Music cut short, or a file-size limit (as a disk that fills), fail the video: one line says
// why, even with the temporary directory full, and neither the video nor its unfinished file
// nor ffmpeg is left.
TEST(CaptureStops, AFailedVideoSaysWhyInOneLineAndLeavesNothing) {
    const tempdir dir;
    const std::string cut = workdirwithout(dir.path() / "cut", builddir, {"sound.flac"});
    std::ofstream(cut + "/resources/sound.flac", std::ios::binary) << slurp(builddir + "/resources/sound.flac").substr(0, 500000);
    fs::create_directory(dir.path() / "out");
    const struct {
        const char* what;
        std::vector<std::string> command;
        std::string workdir, reason;
    } cases[] = {
        // Its range loops the music over the cut.
        {"music cut short",
         {captureprogram, "--size", "64x48", "--fps", "30", "--from", "10", "--to", "11", "-o", dir / "out/x.mp4"},
         cut, ""},
        // 2 MiB, above what PoCL writes of its own while the production starts, below the video.
        {"file-size limit",
         {"/bin/bash", "-c", "ulimit -f 2048 && exec \"$0\" \"$@\"", captureprogram, "--size", "640x360", "--fps", "30",
          "--from", "20", "--to", "22", "--crf", "0", "-o", dir / "out/x.mkv"},
         builddir, dir / "out/x.mkv: File too large"},
        // The same with a full temporary directory, where ffmpeg's messages once went; the
        // output's directory seen at /mnt.
        {"full /tmp",
         {"/usr/bin/unshare", "-rm", "/bin/bash", "-c",
          "mount --bind '" + dir.path().string() + "' /mnt && mount -t tmpfs -o size=64k tmpfs /tmp && "
          "{ cat /dev/zero >/tmp/full 2>/dev/null; ulimit -f 2048 && exec \"$0\" \"$@\"; }",
          captureprogram, "--size", "640x360", "--fps", "30", "--from", "20", "--to", "24", "--crf", "0", "-o",
          "/mnt/out/x.mkv"},
         builddir, "/mnt/out/x.mkv: File too large"},
    };
    for (const auto& c : cases) {
        outcome run = runprogram(c.command[0], {c.command.begin() + 1, c.command.end()}, c.workdir);
        EXPECT_EQ(run.status, 1) << c.what << "\n" << run.err;
        const std::vector<std::string> lines = said(run.err);
        ASSERT_EQ(lines.size(), 1u) << c.what << "\n" << run.err;
        EXPECT_EQ(lines[0].rfind("quellspire-capture: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.reason), std::string::npos) << lines[0];
        EXPECT_EQ(filenames(dir.path() / "out"), std::vector<std::string>{}) << c.what;
        EXPECT_EQ(processeswith(dir.path()), (std::map<pid_t, std::string>{})) << c.what;
    }
}

// PNG files are complete one by one: those written before a failure stay, the failing one is
// not left half written, and the message names it.
TEST(CaptureStops, AFailingPngSequenceKeepsTheFramesWrittenAndNamesTheOneThatFailed) {
    const tempdir dir;
    // On a display of its own at 1920x1080, where the dreamscape's first pictures (from 88.5 s)
    // take about 4 MB as PNG files, twice the limit, and those of the fade before it a few KB.
    outcome run = runprogram("/bin/bash",
                             {"-c", "ulimit -f 2048 && exec \"$0\" \"$@\"", std::string(TALVO_SOURCE_DIR) + "/tools/with-display.sh",
                              "--size", "1920x1080", captureprogram, "--size", "1920x1080", "--fps", "2", "--from", "87.5",
                              "--to", "89.5", "-o", dir / "f%02d.png"},
                             builddir, {"DISPLAY="});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> lines = said(run.err);
    ASSERT_FALSE(lines.empty()) << run.err;
    std::smatch failed;
    const std::string& last = lines.back();
    ASSERT_TRUE(std::regex_match(last, failed, std::regex("quellspire-capture: frame (\\d+): cannot write " + dir.path().string() +
                                                           "/f(\\d+)\\.png: File too large")))
        << run.err;
    const int frame = std::stoi(failed[1]);
    EXPECT_EQ(std::stoi(failed[2]), frame);
    ASSERT_GE(frame, 1) << "the first frames are small";
    std::vector<std::string> written;
    for (int k = 0; k < frame; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.png", k);
        written.push_back(name);
    }
    EXPECT_EQ(filenames(dir.path()), written);
    for (const std::string& name : written) EXPECT_EQ(readpng(dir / name).width, 1920) << name << " reads whole";
}

// A join held by music that never comes (read before any ffmpeg starts) ends on a signal and
// leaves nothing behind.
TEST(CaptureStops, ASignalEndsAJoinAndLeavesNothing) {
    const tempdir dir;
    outcome part = capture({"--size", "64x48", "--fps", "30", "--frames", "3", "--part", "1/1", "-o", dir / "part.mkv"});
    ASSERT_EQ(part.status, 0) << part.err;
    // An ffmpeg that never ends, first in PATH (the real ffprobe follows), so that the signal
    // comes while the join waits for it.
    fs::create_directory(dir.path() / "bin");
    std::ofstream(dir / "bin/ffmpeg") << "#!/bin/sh\nwhile :; do sleep 1; done\n";
    fs::permissions(dir / "bin/ffmpeg", fs::perms::owner_all);
    const tempdir scratch;
    process join(captureprogram, {"--join", dir / "joined.mp4", dir / "part.mkv"}, builddir,
                 {"TMPDIR=" + scratch.path().string(), "PATH=" + dir / "bin" + ":" + std::getenv("PATH")});
    ASSERT_TRUE(join.running()) << join.stderr_();
    // The ffmpeg started, with the join's unfinished file created for it.
    for (int tries = 0; tries < 600 && processeswith(dir / "bin/ffmpeg").empty(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(join.id(), SIGTERM);
    EXPECT_EQ(join.wait(std::chrono::seconds(60)), 128 + SIGTERM);
    EXPECT_EQ(said(join.stderr_()), std::vector<std::string>{"quellspire-capture: interrupted"}) << join.stderr_();
    EXPECT_EQ(filenames(dir.path()), (std::vector<std::string>{"bin", "part.mkv"}));
    const std::map<pid_t, std::string> left = processeswith(dir.path());
    EXPECT_EQ(left, (std::map<pid_t, std::string>{}));
    for (const auto& [pid, command] : left) kill(pid, SIGKILL);
    EXPECT_EQ(filenames(scratch.path()), std::vector<std::string>{});
}

namespace {

// The ranges the parts' tests cut in two. Each crosses a change at its middle, where the
// second part starts: the switch from dreamscape to flight at 136 s, whose first two frames at
// 60 frames a second repeat the last of dreamscape, since flight has not stepped yet (the
// second part starts on the second of them); and the particles' end at 28 s in the opening,
// whose state builds up step by step.
struct range {
    std::vector<std::string> args;
    int frames;
};
const range ranges[] = {
    {{"--size", "64x48", "--fps", "60", "--from", "135.75", "--to", "136.28"}, 32},
    {{"--size", "64x48", "--fps", "10", "--from", "27.5", "--to", "28.5"}, 10},
};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(CaptureParts, TwoPartsWriteTheFilesOfOneCaptureByteForByte) {
    for (const range& r : ranges) {
        const tempdir dir;
        fs::create_directory(dir.path() / "whole");
        fs::create_directory(dir.path() / "parts");
        outcome whole = capture(with(r.args, {"-o", dir / "whole/f%04d.png"}));
        ASSERT_EQ(whole.status, 0) << whole.err;
        // The second part first: nothing of one part depends on the other having run.
        for (const char* part : {"2/2", "1/2"}) {
            outcome run = capture(with(r.args, {"--part", part, "-o", dir / "parts/f%04d.png"}));
            ASSERT_EQ(run.status, 0) << part << "\n" << run.err;
            EXPECT_NE(run.err.find("captured " + std::to_string(r.frames / 2) + " frames"), std::string::npos) << run.err;
            if (std::string(part) == "2/2")
                EXPECT_NE(run.err.find("fast-forwarded " + std::to_string(r.frames / 2) + " frames"), std::string::npos)
                    << run.err;
            else
                EXPECT_EQ(run.err.find("fast-forward"), std::string::npos) << run.err;
        }
        const std::vector<std::string> names = filenames(dir.path() / "whole");
        ASSERT_EQ(names.size(), size_t(r.frames));
        EXPECT_EQ(filenames(dir.path() / "parts"), names);
        for (const std::string& name : names)
            EXPECT_EQ(slurp(dir / ("whole/" + name)), slurp(dir / ("parts/" + name)))
                << name << " of " << testing::PrintToString(r.args) << " differs";
    }
}

// Lossless, so that each part's encoder gives back exactly the frames it was given; at other
// qualities each encoder makes choices of its own.
TEST(CaptureParts, JoinedSegmentsAreOneCapturesVideoFrameForFrameWithTheMusic) {
    const tempdir dir;
    const std::vector<std::string> args = {"--size", "64x48", "--fps", "30", "--from", "135.5", "--to", "136.5", "--crf", "0"};
    outcome whole = capture(with(args, {"-o", dir / "whole.mp4"}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    for (const char* part : {"1", "2"}) {
        outcome run = capture(with(args, {"--part", std::string(part) + "/2", "-o", dir / ("part" + std::string(part) + ".mkv")}));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(probe(dir / ("part" + std::string(part) + ".mkv"), "a", "codec_type"), "") << "a segment has no music";
    }
    // Given in any order, joined in the parts' order; --join by a prefix, as any option.
    outcome join = capture({"--jo", dir / "joined.mp4", dir / "part2.mkv", dir / "part1.mkv"});
    ASSERT_EQ(join.status, 0) << join.err;
    EXPECT_NE(join.err.find("joined 2 segments, 30 frames"), std::string::npos) << join.err;

    const std::string frames = framemd5(dir / "whole.mp4");
    ASSERT_NE(frames.find("0,         29,"), std::string::npos) << frames;
    EXPECT_EQ(framemd5(dir / "joined.mp4"), frames);
    EXPECT_EQ(probe(dir / "joined.mp4", "a:0", "codec_name"), "aac");
    EXPECT_EQ(probe(dir / "joined.mp4", "a:0", "duration"), probe(dir / "whole.mp4", "a:0", "duration"));
    EXPECT_NEAR(std::stod(probe(dir / "joined.mp4", "a:0", "duration")), 1.0, 0.05);

    // Segments that are not every part of one capture, once and complete, are refused.
    ASSERT_EQ(shell("ffmpeg -hide_banner -loglevel error -i '" + dir / "part1.mkv" +
                    "' -frames:v 14 -c copy '" + dir / "short.mkv" + "'")
                  .status,
              0);
    struct {
        std::vector<std::string> segments;
        std::string message;
    } refusals[] = {
        {{dir / "part1.mkv"}, "part 2 of 2 is missing"},
        {{dir / "part1.mkv", dir / "part1.mkv", dir / "part2.mkv"}, "'" + dir / "part1.mkv" + "' is given twice"},
        {{dir / "whole.mp4"}, "'" + dir / "whole.mp4" + "' is not a video segment made with --part"},
        {{dir / "short.mkv", dir / "part2.mkv"}, "holds 14 frames, but part 1 of 2 has 15: its capture did not finish"},
    };
    for (const auto& refusal : refusals) {
        std::vector<std::string> command = {"--join", dir / "refused.mp4"};
        command.insert(command.end(), refusal.segments.begin(), refusal.segments.end());
        outcome run = capture(command);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.err.rfind("quellspire-capture: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(refusal.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "refused.mp4"));
    }
    // What needs no probe is checked first: copies of part 1 are refused before any segment
    // is probed (an ffprobe that notes its runs stands first on the PATH).
    fs::create_directory(dir.path() / "bin");
    std::ofstream(dir / "bin/ffprobe") << "#!/bin/sh\necho >>'" << dir / "probes" << "'\nexec /usr/bin/ffprobe \"$@\"\n";
    fs::permissions(dir / "bin/ffprobe", fs::perms::owner_all);
    std::vector<std::string> copies = {"--join", dir / "refused.mp4"};
    for (const char* copy : {"a.mkv", "b.mkv", "c.mkv"}) {
        fs::copy_file(dir / "part1.mkv", dir / copy);
        copies.push_back(dir / copy);
    }
    copies.push_back(dir / "part2.mkv");
    outcome run = capture(copies, builddir, {"PATH=" + dir / "bin" + ":/usr/bin:/bin"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("are both part 1 of 2"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "probes"));
}

// Segments may come from other machines: a label no capture writes, or one its video belies,
// ends the join with one line naming the segment and status 2, before any work is done for it.
// The forgeries are copies of a real part with their label rewritten (or their video too).
TEST(CaptureParts, ForgedSegmentsAreRefusedByName) {
    const tempdir dir;
    const std::string part1 = dir / "part1.mkv";
    outcome made = capture({"--size", "64x48", "--fps", "30", "--from", "160", "--frames", "8", "--part", "1/2", "-o", part1});
    ASSERT_EQ(made.status, 0) << made.err;
    const struct {
        std::string label;
        std::string message;
        bool withpart1 = false;      // joined beside the real part 1 of 2
        const char* video = "copy";  // its frames: part 1's own, or encoded anew with this codec
    } forgeries[] = {
        {"part=2/2 frames=8 from=160 fps=30 size=64x48 crf=18", "holds the same frames as '" + part1 + "'", true},
        {"part=1/1 frames=4 from=1000000000 fps=30 size=64x48 crf=18", "from=1000000000 is not before the production's end"},
        {"part=1/1 frames=4 from=19399/100 fps=30 size=64x48 crf=18", "run past the production's end"},
        {"part=1/1 frames=4 from=160 fps=1001 size=64x48 crf=18", "fps=1001 is above 1000"},
        {"part=1/1 frames=4 from=160 fps=30 size=64x48 crf=52", "crf=52 is above 51"},
        {"part=1/1 frames=4 from=160 fps=30 size=63x48 crf=18", "size=63x48: a video's sides are even"},
        {"part=1/1 frames=4 from=160 fps=30 size=640x360 crf=18", "is 64x48, but its label says 640x360"},
        {"part=1/1 frames=4 from=160 fps=60 size=64x48 crf=18", "does not hold its frames at the 60 fps its label says"},
        {"part=1/1 frames=8 from=160 fps=30 size=64x48 crf=18\nnb_read_packets=8", "is not a video segment made with --part"},
        {"part=1/1 frames=8 from=160 fps=30 size=64x48 crf=" + std::string(100000, '1'), "is not a video segment made with --part"},
        {"part=1/1 frames=4 from=160 fps=30 size=64x48 crf=18", "is not H.264 in yuv420p", false, "mpeg4"},
    };
    int n = 0;
    for (const auto& forgery : forgeries) {
        const std::string forged = dir / ("forged" + std::to_string(n++) + ".mkv");
        ASSERT_EQ(shell("ffmpeg -hide_banner -loglevel error -i '" + part1 + "' -c:v " + forgery.video +
                        " -metadata 'quellspire_part=" + forgery.label + "' '" + forged + "'")
                      .status,
                  0);
        std::vector<std::string> command = {"--join", dir / "joined.mp4", forged};
        if (forgery.withpart1) command.push_back(part1);
        outcome run = capture(command);
        EXPECT_EQ(run.status, 2) << forgery.label << "\n" << run.err;
        EXPECT_EQ(run.err.find("quellspire-capture: '" + forged + "'"), 0u) << run.err;
        EXPECT_NE(run.err.find(forgery.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_FALSE(fs::exists(dir / "joined.mp4"));
    }
}

// Refused before any window is opened (there is no display), with status 2.
TEST(CaptureParts, BadPartsEndWithTheirMessageAndStatus2) {
    const tempdir dir;
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--part", "0/2"}, "--part: '0/2' is not a part K/N with K from 1 to N"},
        {{"--part", "3/2"}, "--part: '3/2' is not a part K/N"},
        {{"--part", "1/0"}, "--part: '1/0' is not a part K/N"},
        {{"--part", "2"}, "--part: '2' is not a part K/N"},
        {{"--frames", "1", "--part", "2/2"}, "--part: the range has only 1 frame, too few for 2 parts"},
        {{"--from", "193.9", "--fps", "10", "--part", "1/3"}, "--part: the range has only 1 frame, too few for 3 parts"},
    };
    for (const auto& c : cases) {
        outcome run = capture(with(c.args, {"-o", dir / "f%d.png"}), builddir, {"DISPLAY="});
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find("quellspire-capture: " + c.message), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}
