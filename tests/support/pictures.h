#pragma once
// Pictures of the production as a user would see them, for the scenes' picture tests: frames
// taken by quellspire-capture from the build directory, PNG files read and written through
// libpng, and stills compared with stored references.
//
// A still is taken at 640x360 and compared at a quarter of that with its reference,
// tests/scenes/reference/<name>.png, within limits the scene states with their reasons:
//
//   // <why a still may stray this far on another machine, and what a real change does>
//   constexpr talvo::testsupport::limits flightlimits{3.0, 50};
//   TEST(flightpictures, LooksAsBefore) {
//       for (const std::string moment : {"140", "150"})
//           talvo::testsupport::expectlike(talvo::testsupport::still(moment), "flight-" + moment, flightlimits);
//   }
//
// To take new references after an intended change of the picture, run the tests with
// TALVO_UPDATE_REFERENCES=1: they then write the references instead of comparing, and a look
// at the new ones shows whether the change is the intended one.
//
// For a test target that defines QUELLSPIRE_CAPTURE (the tool), TALVO_BUILD_DIR (where it
// runs, beside resources/) and TALVO_SOURCE_DIR.
#include <gtest/gtest.h>
#include <png.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace talvo::testsupport {

// Stills are taken at this size and compared at a quarter of it.
constexpr int stillwidth = 640, stillheight = 360, stillshrink = 4;

struct picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// How far a shrunk still may stray from its reference: the mean absolute difference of all
// channel values, and the largest one.
struct limits {
    double mean;
    int max;
};

inline picture readpng(const std::filesystem::path& path) {
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

inline void writepng(const std::filesystem::path& path, const picture& p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(p.width);
    image.height = png_uint_32(p.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, p.rgb.data(), 0, nullptr))
        ADD_FAILURE() << path << ": " << image.message;
}

// Each factor x factor block averaged into one pixel.
inline picture shrunk(const picture& p, int factor) {
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

// The mean of all channel values.
inline double meanof(const picture& p) {
    double sum = 0;
    for (uint8_t v : p.rgb) sum += v;
    return sum / double(p.rgb.size());
}

// Compares a still with its reference <name>.png within the limits (or, when references are
// being taken, stores it). A failure names the file this run's picture was written to.
inline void expectlike(const picture& still, const std::string& name, const limits& allowed) {
    const std::filesystem::path referencedir = std::filesystem::path(TALVO_SOURCE_DIR) / "tests/scenes/reference";
    const picture small = shrunk(still, stillshrink);
    const std::filesystem::path reference = referencedir / (name + ".png");
    if (std::getenv("TALVO_UPDATE_REFERENCES")) {
        std::filesystem::create_directories(referencedir);
        writepng(reference, small);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(reference)) << reference << " is missing (TALVO_UPDATE_REFERENCES=1 takes it)";
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
    if (mean <= allowed.mean && largest <= allowed.max) return;
    const std::filesystem::path actual = std::filesystem::temp_directory_path() / ("actual-" + name + ".png");
    writepng(actual, small);
    ADD_FAILURE() << name << " differs from its reference: mean " << mean << " (limit " << allowed.mean << "), largest "
                  << largest << " (limit " << allowed.max << "); this run's picture is " << actual;
}

// Runs the capture tool from the build directory, which holds resources/, with `args` and
// "-o dir/still%03d.png", and returns the frames it wrote, in order.
inline std::vector<picture> capture(const std::filesystem::path& dir, std::vector<std::string> args) {
    const std::string prefix = "still";
    args.insert(args.end(), {"-o", (dir / (prefix + "%03d.png")).string()});
    process run(QUELLSPIRE_CAPTURE, args, TALVO_BUILD_DIR);
    const int status = run.wait(std::chrono::seconds(600));
    EXPECT_EQ(status, 0) << run.stdout_() << run.stderr_();
    std::vector<picture> frames;
    for (int k = 0;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%03d.png", prefix.c_str(), k);
        if (!std::filesystem::exists(dir / name)) return frames;
        frames.push_back(readpng(dir / name));
    }
}

// Stills from `from` seconds on at the still size, `more` saying how many and how often.
inline std::vector<picture> stills(const std::string& from, const std::vector<std::string>& more) {
    const tempdir dir;
    std::vector<std::string> args{"--size", std::to_string(stillwidth) + "x" + std::to_string(stillheight), "--from", from};
    args.insert(args.end(), more.begin(), more.end());
    return capture(dir.path(), args);
}

// The still at `moment` seconds; an empty picture, after a failure, when none was written.
inline picture still(const std::string& moment) {
    const std::vector<picture> frames = stills(moment, {"--frames", "1"});
    EXPECT_EQ(frames.size(), 1u) << "one still at " << moment << " s";
    return frames.empty() ? picture{} : frames[0];
}

// One figure ("frames", "steps") of `scene` in the text of a capture's --stats file; 0 for a
// scene that it does not list, since it drew nothing.
inline int scenefigure(const std::string& stats, const std::string& scene, const std::string& figure) {
    const nlohmann::json scenes = nlohmann::json::parse(stats).at("scenes");
    return scenes.value(scene, nlohmann::json::object()).value(figure, 0);
}

}  // namespace talvo::testsupport
