// The opening as the production shows it: one capture from the start, one still a second, so
// that the particles have their whole history; chosen stills compared with stored references,
// and the switch to the second scene at 56 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pictures.h"

using namespace talvo::testsupport;

namespace {

// The same every run on one machine. Another CPU's vector width may round the rasteriser
// differently and move a star by a pixel, which changes at most four of the sixteen pixels
// behind a shrunk one; a missing star field or a wrong camera changes bright blocks by far more.
constexpr limits starlimits{3.0, 64};
// The particles and the copies of lines come from kernels full of sines built with relaxed
// maths, which another device may round differently. The particles' flow contracts onto its
// knot and is only weakly chaotic, and the copies are recomputed every step, so that moves
// particles and edges by a pixel or so; lines is white on black, so a moved edge flips whole
// pixels. Shifting a whole still by a pixel changes its blocks by up to 112 and the mean by 2
// to 4 for these moments (up to 10 for the flare, which no rounding moves as a whole). A
// missing card, act or copy, or the other camera, changes blocks by 255 and the mean by 5 to 40.
constexpr limits cardlimits{3.0, 112};
constexpr limits lineslimits{4.0, 128};

class openingpictures : public ::testing::Test {
protected:
    // One still a second from 0 to 56 s, and the capture's per-scene figures.
    static void SetUpTestSuite() {
        const tempdir dir;
        frames = capture(dir.path(), {"--size", std::to_string(stillwidth) + "x" + std::to_string(stillheight), "--fps",
                                      "1", "--to", "56.1", "--stats", dir / "stats.json"});
        figures = slurp(dir / "stats.json");
    }
    static void TearDownTestSuite() { frames.clear(); }

    static void expectlikeat(int second, const limits& allowed) {
        ASSERT_LT(size_t(second), frames.size());
        expectlike(frames[size_t(second)], "opening-" + std::to_string(second), allowed);
    }

    static std::vector<picture> frames;
    static std::string figures;
};

std::vector<picture> openingpictures::frames;
std::string openingpictures::figures;

TEST_F(openingpictures, StarsTitleCardsAndParticlesLookAsBefore) {
    // The stars under camera A (2 s) and B (6 s); each card at full strength over the
    // particles (16 and 24 s); the particles alone once the stars have faded (27 s).
    for (int second : {2, 6}) expectlikeat(second, starlimits);
    for (int second : {16, 24, 27}) expectlikeat(second, cardlimits);
    // Before 12 s nothing but faint stars: most of the picture is black, its grey averaging
    // about half a level, as the 1280x720 picture's does.
    ASSERT_GT(frames.size(), 6u);
    EXPECT_LT(meanof(frames[6]), 40.0);
    EXPECT_GT(meanof(frames[6]), 0.2);
}

TEST_F(openingpictures, LinesBeforeAndAfter44SecondsLookAsBefore) {
    // Camera B (31 s) and A (33 s) on the rings; then squashed and turned inside out (45 s),
    // stretched tenfold into a web (50 s).
    for (int second : {31, 33, 45, 50}) expectlikeat(second, lineslimits);
}

TEST_F(openingpictures, TheProductionSwitchesToTheSecondSceneAt56Seconds) {
    EXPECT_EQ(frames.size(), 57u);
    // 0 ... 55 s belong to the opening; at 28 s lines, entered in its sync, runs its first step
    // before the frame is drawn. The second scene is entered in the sync of 56.000 s, and so
    // draws that frame after its first step.
    EXPECT_EQ(scenefigure(figures, "opening", "frames"), 56);
    const int steps = scenefigure(figures, "opening", "steps");
    EXPECT_GE(steps, 2200);
    EXPECT_LT(steps, 2300);
    EXPECT_EQ(scenefigure(figures, "entryway", "frames"), 1);
    EXPECT_NE(frames[28].rgb, frames[27].rgb);
    EXPECT_NE(frames[56].rgb, frames[55].rgb);
}

}  // namespace
