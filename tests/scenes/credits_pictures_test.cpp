// credits as the production shows it: stills taken by quellspire-capture at 640x360 from the
// scene's first half second to its last, shrunk to 160x90 and compared with stored references,
// and a card that is readable at that size.
//
// TALVO_UPDATE_REFERENCES=1 writes the references instead of comparing; look at the new ones
// before keeping them.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process.h"
#include "support/scratchdir.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const fs::path referencedir = fs::path(TALVO_SOURCE_DIR) / "tests/scenes/reference";
constexpr int shrink = 4;

// The ribbons are lines two pixels wide on thin triangles and the cards are text a few dozen
// pixels high: another CPU's rounding in PoCL or llvmpipe may move an edge by a pixel, which
// the 4x4 shrink turns into small changes, below a fifth of the range at any pixel. A card
// in the wrong place or state, a tree grown differently or a wrong exposure changes the mean
// several times more.
constexpr double meanlimit = 3.0;
constexpr int maxlimit = 50;

struct picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
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

picture shrunk(const picture& p) {
    picture s{p.width / shrink, p.height / shrink, {}};
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < shrink; ++dy)
                    for (int dx = 0; dx < shrink; ++dx) sum += p.at(x * shrink + dx, y * shrink + dy)[c];
                s.rgb.push_back((unsigned char)((sum + shrink * shrink / 2) / (shrink * shrink)));
            }
    return s;
}

void expectlike(const picture& still, const std::string& name) {
    const picture small = shrunk(still);
    const fs::path reference = referencedir / (name + ".png");
    if (std::getenv("TALVO_UPDATE_REFERENCES")) {
        writepng(reference, small);
        return;
    }
    ASSERT_TRUE(fs::exists(reference)) << reference << " is missing (TALVO_UPDATE_REFERENCES=1 takes it)";
    const picture expected = readpng(reference);
    ASSERT_EQ(expected.rgb.size(), small.rgb.size());
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

// Stills at 640x360 from the capture tool, run from the build directory beside resources/.
std::vector<picture> stills(const std::vector<std::string>& range) {
    talvo::testsupport::scratchdir dir;
    std::vector<std::string> args = {"--size", "640x360", "-o", (dir.path() / "still%03d.png").string()};
    args.insert(args.end(), range.begin(), range.end());
    process run(QUELLSPIRE_CAPTURE, args, TALVO_BUILD_DIR);
    EXPECT_EQ(run.wait(300s), 0) << run.stdout_() << run.stderr_();
    std::vector<picture> frames;
    for (int k = 0;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "still%03d.png", k);
        if (!fs::exists(dir.path() / name)) return frames;
        frames.push_back(readpng(dir.path() / name));
    }
}

// Pixels near white: the cards' ink, which the blue ribbons do not reach.
int whitepixels(const picture& p) {
    int count = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) count += *std::min_element(p.at(x, y), p.at(x, y) + 3) >= 200;
    return count;
}

TEST(creditspictures, TreeAndCardsLookAsBeforeFromStartToEnd) {
    // Every 5.5 s from 160.5 s, then the last frame before the end.
    std::vector<picture> frames = stills({"--from", "160.5", "--fps", "2/11", "--frames", "7"});
    const std::vector<picture> last = stills({"--from", "193.95", "--frames", "1"});
    ASSERT_EQ(frames.size(), 7u);
    ASSERT_EQ(last.size(), 1u);
    frames.push_back(last[0]);
    const char* const moments[] = {"160.5", "166", "171.5", "177", "182.5", "188", "193.5", "193.95"};
    for (size_t k = 0; k < frames.size(); ++k) expectlike(frames[k], std::string("credits-") + moments[k]);

    // At 166 s "Code/..." and "GFX/..." stand side by side, fully shown; half a second in, the
    // exposure is still low and nothing is near white.
    EXPECT_GT(whitepixels(frames[1]), 150) << "the cards at 166 s are bright enough to read";
    EXPECT_EQ(whitepixels(frames[0]), 0);
}

}  // namespace
