// entryway as the production shows it: stills taken by quellspire-capture at 640x360, shrunk
// to 160x90 and compared with stored references (the ribbons growing, the turn at 74 s, the
// flight through the tunnel, the whiteout), and the hand-over to dreamscape's flash at 88 s.
//
// To take new references after an intended change of the picture, run the tests with
// TALVO_UPDATE_REFERENCES=1: they then write the references instead of comparing, and a
// look at the new ones shows whether the change is the intended one.
// entryway as the production shows it: stills taken by quellspire-capture, compared with
// stored references (the ribbons growing, the turn at 74 s, the flight through the tunnel, the
// whiteout), and the hand-over to dreamscape's flash at 88 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pictures.h"

using namespace talvo::testsupport;

namespace {

// llvmpipe and PoCL give the same picture every run on one machine, but another CPU's vector
// width may round the kernels' and the rasteriser's arithmetic differently and move a ribbon's
// border or a tunnel line by a pixel, or thin a different few of the far sparks. Shrunk 4x4,
// such changes stay small on average and below a fifth of the range at any one pixel; a wrong
// camera, a tree grown differently or a missing tunnel change the mean several times more, and
// where the picture is sparse (the first ribbon, the tunnel's far mouth) the largest
// difference exceeds the limit at once.
constexpr limits entrywaylimits{3.0, 50};

uint8_t darkest(const picture& p) {
    return *std::min_element(p.rgb.begin(), p.rgb.end());
}

// The still at `moment` seconds after one frame has run: a scene (and the tunnel) entered by
// the first frame's sync has not yet grown anything in it, and the tunnel's growth follows its
// update.
picture grownstill(const std::string& moment) {
    const std::string from = std::to_string(std::stod(moment) - 0.05);
    const std::vector<picture> frames = stills(from, {"--fps", "20", "--frames", "2"});
    EXPECT_EQ(frames.size(), 2u) << moment;
    return frames.size() == 2 ? frames[1] : picture{};
}

TEST(entrywaypictures, RibbonsGrowThenTheTunnelIsFlownThrough) {
    // The tree growing past the sliding, rolling camera; then inside the tunnel: the helix,
    // the rings, the lattice and the rings again.
    for (const std::string moment : {"58", "62", "66", "70", "76", "79", "81", "83"}) {
        const picture p = grownstill(moment);
        EXPECT_GT(meanof(p), 0.2) << moment << " s shows something";
        expectlike(p, "entryway-" + moment, entrywaylimits);
    }
}

TEST(entrywaypictures, TheCameraTurnsAndTheTunnelOpensAhead) {
    const std::vector<picture> frames = stills("73.9", {"--fps", "20", "--frames", "6"});
    ASSERT_EQ(frames.size(), 6u);
    // 73.95 s still slides past the ribbons; by 74.15 s the tunnel's mouth is far ahead.
    expectlike(frames[1], "entryway-73.95", entrywaylimits);
    expectlike(frames[5], "entryway-74.15", entrywaylimits);
}

TEST(entrywaypictures, WhitesOutAndHandsOverToTheFlashWithoutADarkFrame) {
    const std::vector<picture> whiteout = stills("86", {"--fps", "1", "--frames", "2"});
    ASSERT_EQ(whiteout.size(), 2u);
    for (const picture& p : whiteout) EXPECT_EQ(darkest(p), 255) << "the whiteout fills the picture";
    expectlike(whiteout[0], "entryway-86", entrywaylimits);
    expectlike(whiteout[1], "entryway-87", entrywaylimits);

    const tempdir dir;
    const std::vector<picture> frames = capture(
        dir.path(), {"--size", std::to_string(stillwidth) + "x" + std::to_string(stillheight), "--fps", "20", "--from", "87.8", "--to", "88.2", "--stats", dir / "stats.json"});
    ASSERT_EQ(frames.size(), 8u);
    // 87.80 to 87.95 s belong to entryway; 88.00 s enters dreamscape and runs its first step
    // before it is drawn.
    const std::string figures = slurp(dir / "stats.json");
    EXPECT_EQ(scenefigure(figures, "entryway", "frames"), 4);
    EXPECT_EQ(scenefigure(figures, "dreamscape", "frames"), 4);
    for (size_t k = 0; k < frames.size(); ++k) EXPECT_GT(meanof(frames[k]), 240.0) << "frame " << k << " is near white";
    for (size_t k = 4; k < frames.size(); ++k) EXPECT_EQ(darkest(frames[k]), 255) << "frame " << k << " is the flash";
    expectlike(frames[2], "entryway-87.9", entrywaylimits);
}

}  // namespace
