// dreamscape as the production shows it: stills taken by quellspire-capture at 640x360, shrunk
// to 160x90 and compared with stored references, so that a change of the picture is noticed;
// and the switch from the second scene into it at 88 s.
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
#include <regex>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/scratchdir.h"

using namespace std::chrono_literals;
using talvo::testsupport::process;
using talvo::testsupport::slurp;
namespace fs = std::filesystem;

namespace {

const std::string program = QUELLSPIRE_CAPTURE;
const std::string builddir = TALVO_BUILD_DIR;
const fs::path referencedir = fs::path(TALVO_SOURCE_DIR) / "tests/scenes/reference";

// Stills are taken at this size and compared at a quarter of it.
constexpr int stillwidth = 640, stillheight = 360, shrink = 4;

// llvmpipe and PoCL give the same picture every run on one machine, but another CPU's vector
// width may round the kernels' and the rasteriser's arithmetic differently and move a few
// sprites by a pixel or flip a few of the far sprites that are drawn by chance. Shrunk 4x4,
// such changes stay small on average and below a fifth of the range at any one pixel; a
// missing flash, a wrong camera, colours or distortion change the mean several times more.
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

// Runs the capture tool from the build directory, which holds resources/, and returns the
// frames it wrote into dir, in order.
std::vector<picture> capture(const fs::path& dir, std::vector<std::string> args) {
    const std::string prefix = "still";
    args.insert(args.end(), {"-o", (dir / (prefix + "%03d.png")).string()});
    process run(program, args, builddir);
    const int status = run.wait(600s);
    EXPECT_EQ(status, 0) << run.stdout_() << run.stderr_();
    std::vector<picture> frames;
    for (int k = 0;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%03d.png", prefix.c_str(), k);
        if (!fs::exists(dir / name)) return frames;
        frames.push_back(readpng(dir / name));
    }
}

std::vector<std::string> stillsize() {
    return {"--size", std::to_string(stillwidth) + "x" + std::to_string(stillheight)};
}

TEST(dreamscapepictures, OpensOnAWhiteFlashThatIsGoneWithinHalfASecond) {
    talvo::testsupport::scratchdir dir;
    std::vector<std::string> args = stillsize();
    args.insert(args.end(), {"--from", "88.05", "--fps", "4", "--frames", "5"});
    const std::vector<picture> frames = capture(dir.path(), args);
    ASSERT_EQ(frames.size(), 5u);
    const char* const moments[] = {"88.05", "88.30", "88.55", "88.80", "89.05"};

    for (int k : {0, 1})
        EXPECT_EQ(*std::min_element(frames[k].rgb.begin(), frames[k].rgb.end()), 255) << moments[k] << " s is white";
    for (int k : {2, 3, 4}) EXPECT_LT(meanof(frames[k]), 128.0) << "the flash is over at " << moments[k] << " s";
    for (int k = 0; k < 5; ++k) expectlike(frames[k], std::string("dreamscape-") + moments[k]);
}

TEST(dreamscapepictures, CamerasAndDistortionLookAsBefore) {
    // The cameras take turns every four seconds: A (at the centre) at 92, 100, 108 and from
    // 114 s, B (ahead) at 96, 104 and 112 s. The distortion starts at 110 s and is strong by
    // 128 s.
    for (const char* moment : {"92", "96", "100", "104", "108", "112", "120", "128", "135"}) {
        talvo::testsupport::scratchdir dir;
        std::vector<std::string> args = stillsize();
        args.insert(args.end(), {"--from", moment, "--frames", "1"});
        const std::vector<picture> frames = capture(dir.path(), args);
        ASSERT_EQ(frames.size(), 1u) << moment;
        expectlike(frames[0], std::string("dreamscape-") + moment);
    }
}

TEST(dreamscapepictures, TheProductionSwitchesToItAt88SecondsWithTheFlash) {
    talvo::testsupport::scratchdir dir;
    const fs::path stats = dir.path() / "stats.json";
    const std::vector<picture> frames =
        capture(dir.path(), {"--size", "160x90", "--fps", "20", "--from", "87.9", "--to", "88.2", "--stats", stats.string()});
    ASSERT_EQ(frames.size(), 6u);
    // 87.90 and 87.95 s belong to the second scene, 88.00 s on to dreamscape.
    const std::string figures = slurp(stats);
    EXPECT_TRUE(std::regex_search(figures, std::regex(R"("entryway": \{"frames": 2, )"))) << figures;
    EXPECT_TRUE(std::regex_search(figures, std::regex(R"("dreamscape": \{"frames": 4, "steps": [1-9])"))) << figures;
    for (size_t k = 2; k < frames.size(); ++k)
        EXPECT_EQ(*std::min_element(frames[k].rgb.begin(), frames[k].rgb.end()), 255) << "frame " << k << " is white";
}

}  // namespace
