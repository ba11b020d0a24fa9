// entryway as the production shows it: stills taken by quellspire-capture at 640x360, shrunk
// to 160x90 and compared with stored references (the ribbons growing, the turn at 74 s, the
// flight through the tunnel, the whiteout), and the hand-over to dreamscape's flash at 88 s.
//
// To take new references after an intended change of the picture, run the tests with
// TALVO_UPDATE_REFERENCES=1: they then write the references instead of comparing, and a
// look at the new ones shows whether the change is the intended one.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/process.h"
#include "support/scratchdir.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string program = QUELLSPIRE_CAPTURE;
const std::string builddir = TALVO_BUILD_DIR;
const fs::path referencedir = fs::path(TALVO_SOURCE_DIR) / "tests/scenes/reference";

// Stills are taken at this size and compared at a quarter of it.
constexpr int stillwidth = 640, stillheight = 360, shrink = 4;

// llvmpipe and PoCL give the same picture every run on one machine, but another CPU's vector
// width may round the kernels' and the rasteriser's arithmetic differently and move a ribbon's
// border or a tunnel line by a pixel, or thin a different few of the far sparks. Shrunk 4x4,
// such changes stay small on average and below a fifth of the range at any one pixel; a wrong
// camera, a tree grown differently or a missing tunnel change the mean several times more.
constexpr double meanlimit = 3.0;
constexpr int maxlimit = 50;

struct picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

picture readpng(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return p;
    }
    image.format = PNG_FORMAT_RGB;
    p.width = int(image.width);
    p.height = int(image.height);
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) ADD_FAILURE() << path << ": " << image.message;
    return p;
}

void writepng(const fs::path& path, const picture& p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(p.width);
    image.height = png_uint_32(p.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, p.rgb.data(), 0, nullptr))
        ADD_FAILURE() << path << ": " << image.message;
}

// Each factor x factor block averaged into one pixel.
picture shrunk(const picture& p, int factor) {
    picture s;
    s.width = p.width / factor;
    s.height = p.height / factor;
    s.rgb.resize(size_t(s.width) * size_t(s.height) * 3);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum += p.rgb[(size_t(y * factor + dy) * size_t(p.width) + size_t(x * factor + dx)) * 3 + size_t(c)];
                s.rgb[(size_t(y) * size_t(s.width) + size_t(x)) * 3 + size_t(c)] = uint8_t((sum + factor * factor / 2) / (factor * factor));
            }
    return s;
}

double meanof(const picture& p) {
    double sum = 0;
    for (uint8_t v : p.rgb) sum += v;
    return sum / double(p.rgb.size());
}

uint8_t darkest(const picture& p) {
    return *std::min_element(p.rgb.begin(), p.rgb.end());
}

// Compares a still with its reference (or, when references are being taken, stores it).
void expectlike(const picture& still, const std::string& name) {
    const picture small = shrunk(still, shrink);
    const fs::path reference = referencedir / (name + ".png");
    if (std::getenv("TALVO_UPDATE_REFERENCES")) {
        fs::create_directories(referencedir);
        writepng(reference, small);
        return;
    }
    ASSERT_TRUE(fs::exists(reference)) << reference << " is missing (TALVO_UPDATE_REFERENCES=1 takes it)";
    const picture expected = readpng(reference);
    ASSERT_EQ(expected.width, small.width);
    ASSERT_EQ(expected.height, small.height);
    double sum = 0;
    int largest = 0;
    for (size_t i = 0; i < small.rgb.size(); ++i) {
        const int d = std::abs(int(small.rgb[i]) - int(expected.rgb[i]));
        sum += d;
        largest = std::max(largest, d);
    }
    const double mean = sum / double(small.rgb.size());
    if (mean <= meanlimit && largest <= maxlimit) return;
    const fs::path actual = fs::temp_directory_path() / ("actual-" + name + ".png");
    writepng(actual, small);
    ADD_FAILURE() << name << " differs from its reference: mean " << mean << " (limit " << meanlimit << "), largest "
                  << largest << " (limit " << maxlimit << "); this run's picture is " << actual;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the capture tool from the build directory, which holds resources/, at the still size
// unless args say otherwise, and returns the frames it wrote into dir, in order.
std::vector<picture> capture(const fs::path& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--size", std::to_string(stillwidth) + "x" + std::to_string(stillheight)});
    args.insert(args.end(), {"-o", (dir / "still%03d.png").string()});
    process run(program, args, builddir);
    const int status = run.wait(600s);
    EXPECT_EQ(status, 0) << run.stdout_() << run.stderr_();
    std::vector<picture> frames;
    for (int k = 0;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "still%03d.png", k);
        if (!fs::exists(dir / name)) return frames;
        frames.push_back(readpng(dir / name));
    }
}

// The capture tool enters a scene (and the tunnel) in the sync of the first frame past its
// time, before any step has run on it, so a still is the second frame of a short run.
picture still(const std::string& moment) {
    talvo::testsupport::scratchdir dir;
    const std::string from = std::to_string(std::stod(moment) - 0.05);
    const std::vector<picture> frames = capture(dir.path(), {"--from", from, "--fps", "20", "--frames", "2"});
    EXPECT_EQ(frames.size(), 2u) << moment;
    return frames.size() == 2 ? frames[1] : picture{};
}

TEST(entrywaypictures, RibbonsGrowThenTheTunnelIsFlownThrough) {
    // The tree growing past the sliding, rolling camera; then inside the tunnel: the helix,
    // the rings, the lattice and the rings again.
    for (const std::string moment : {"58", "62", "66", "70", "76", "79", "81", "83"}) {
        const picture p = still(moment);
        EXPECT_GT(meanof(p), 0.2) << moment << " s shows something";
        expectlike(p, "entryway-" + moment);
    }
}

TEST(entrywaypictures, TheCameraTurnsAndTheTunnelOpensAhead) {
    talvo::testsupport::scratchdir dir;
    const std::vector<picture> frames = capture(dir.path(), {"--from", "73.9", "--fps", "20", "--frames", "6"});
    ASSERT_EQ(frames.size(), 6u);
    // 73.95 s still slides past the ribbons; by 74.15 s the tunnel's mouth is far ahead.
    expectlike(frames[1], "entryway-73.95");
    expectlike(frames[5], "entryway-74.15");
}

TEST(entrywaypictures, WhitesOutAndHandsOverToTheFlashWithoutADarkFrame) {
    {
        talvo::testsupport::scratchdir dir;
        const std::vector<picture> frames = capture(dir.path(), {"--from", "86", "--fps", "1", "--frames", "2"});
        ASSERT_EQ(frames.size(), 2u);
        for (const picture& still : frames) EXPECT_EQ(darkest(still), 255) << "the whiteout fills the picture";
        expectlike(frames[0], "entryway-86");
        expectlike(frames[1], "entryway-87");
    }
    talvo::testsupport::scratchdir dir;
    const fs::path stats = dir.path() / "stats.json";
    const std::vector<picture> frames =
        capture(dir.path(), {"--fps", "20", "--from", "87.8", "--to", "88.2", "--stats", stats.string()});
    ASSERT_EQ(frames.size(), 8u);
    // 87.80 to 87.95 s belong to entryway, 88.00 s on to dreamscape.
    const std::string figures = slurp(stats);
    EXPECT_TRUE(std::regex_search(figures, std::regex(R"("entryway": \{"frames": 4, )"))) << figures;
    EXPECT_TRUE(std::regex_search(figures, std::regex(R"("dreamscape": \{"frames": 4, )"))) << figures;
    for (size_t k = 0; k < frames.size(); ++k) EXPECT_GT(meanof(frames[k]), 240.0) << "frame " << k << " is near white";
    for (size_t k = 4; k < frames.size(); ++k) EXPECT_EQ(darkest(frames[k]), 255) << "frame " << k << " is the flash";
    expectlike(frames[2], "entryway-87.9");
}

}  // namespace
