// quellspire-capture started as a user would, on the test display, with the real ffmpeg and
// ffprobe reading its videos back.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;
namespace fs = std::filesystem;

namespace {

const std::string program = QUELLSPIRE_CAPTURE;
const std::string builddir = TALVO_BUILD_DIR;

// A working directory like the build's, whose resources/ has everything but the music.
std::string nomusic(const tempdir& dir) {
    return workdirwithout(dir.path() / "run", builddir, {"sound.flac"});
}

// One stream or format field of a video as ffprobe reads it ("" if absent).
std::string probe(const std::string& file, const std::string& stream, const std::string& entry) {
    std::string selector = stream.empty() ? "" : "-select_streams " + stream + " ";
    std::string section = stream.empty() ? "format" : "stream";
    std::string counting = entry == "nb_read_frames" ? "-count_frames " : "";
    std::string out = shell("ffprobe -v error " + selector + counting + "-show_entries " + section + "=" + entry +
                              " -of default=noprint_wrappers=1:nokey=1 '" + file + "'")
                          .out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

struct outcome {
    int status;
    std::string out, err;
};

outcome capture(const std::vector<std::string>& args, const std::string& workdir = builddir,
                const std::vector<std::string>& environment = {}) {
    process run(program, args, workdir, environment);
    int status = run.wait(300s);
    return {status, run.stdout_(), run.stderr_()};
}

}  // namespace

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
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path() / "a")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 10u);  // 0.5 s at 20 frames per second
    EXPECT_EQ(names.front(), "frame00000.png");
    EXPECT_EQ(names.back(), "frame00009.png");
    for (const std::string& name : names)
        EXPECT_EQ(slurp(dir / ("a/" + name)), slurp(dir / ("b/" + name))) << name << " differs";

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "a/frame00000.png").c_str())) << image.message;
    EXPECT_EQ(image.width, 64u);
    EXPECT_EQ(image.height, 48u);
    png_image_free(&image);
}

TEST(Capture, StartingAt56SecondsShowsTheSecondScene) {
    const tempdir dir;
    outcome run = capture({"--size", "64x48", "--from", "56.0", "--frames", "1", "-o", dir / "f%d.png", "--stats",
                           dir / "stats.json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "f0.png"));
    EXPECT_FALSE(fs::exists(dir / "f1.png"));
    std::string stats = slurp(dir / "stats.json");
    EXPECT_TRUE(std::regex_search(stats, std::regex(R"("entryway": \{"frames": 1, "steps": \d+, "update_mean_ms": )")))
        << stats;
    // The step at 56.000 s itself still belongs to the first scene, as in a full run; its
    // frames do not.
    EXPECT_FALSE(std::regex_search(stats, std::regex(R"("opening": \{"frames": [1-9])"))) << stats;
    EXPECT_NE(run.err.find("(entryway 56.000 s)"), std::string::npos) << run.err;
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

TEST(Capture, AFailingFfmpegEndsWithStatus1AndItsError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const tempdir dir;
    // A disk that is full: ffmpeg cannot write its file.
    fs::create_symlink("/dev/full", dir / "full.mkv");
    outcome run = capture({"-o", dir / "full.mkv", "--size", "64x48", "--fps", "10", "--frames", "5"}, nomusic(dir));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("quellspire-capture: ffmpeg failed: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
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
    };
    for (const auto& c : cases) {
        outcome run = capture(c.args, builddir, {"DISPLAY="});
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Try 'quellspire-capture --help'."), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));

    outcome help = capture({"--help"}, builddir, {"DISPLAY="});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quellspire-capture -o PATH [options]"), std::string::npos);
    EXPECT_NE(help.out.find("initial cloud"), std::string::npos);
}
