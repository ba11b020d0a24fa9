// flight as the production shows it: one still in each camera's framing, compared with stored
// references; the glow's pulse; and the switch from dreamscape to flight at 136 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pictures.h"

using namespace talvo::testsupport;

namespace {

// Three thousand lines of sparks are mostly one-pixel points, thinned by a hash of their
// index: another CPU's rounding may move or flip a share of them. Shrunk 4x4 that stays small
// on average and below a fifth of the range anywhere; a wrong camera, path or colour moves the
// mean several times more.
constexpr limits flightlimits{3.0, 50};

// The still at `moment` seconds, the second of two frames 50 ms apart: a scene entered by
// --from draws nothing on its first step (the growth is set after the update), and the
// cameras are published one frame after they are computed.
picture settled(const std::string& moment) {
    const std::vector<picture> frames = stills(std::to_string(std::stod(moment) - 0.05), {"--fps", "20", "--frames", "2"});
    EXPECT_EQ(frames.size(), 2u) << moment;
    return frames.size() == 2 ? frames[1] : picture{};
}

TEST(flightpictures, EveryFramingLooksAsBefore) {
    // A still in the middle of each camera's turn: 1 (141 s), 2, 3 (straight down), 4 (from
    // high above), 0.
    for (const char* moment : {"141", "145", "149", "153", "157"}) {
        const picture still = settled(moment);
        // The 1280x720 web box-filtered: from high above its grey averages about 3.
        EXPECT_GT(meanof(still), 2.0) << moment << " s: the path and lines fill the frame";
        expectlike(still, std::string("flight-") + moment, flightlimits);
    }
}

// Pixels whose brightest channel is above 200: the near sparks and the path's glow.
size_t glowing(const picture& p) {
    size_t n = 0;
    for (size_t k = 0; k + 2 < p.rgb.size(); k += 3) n += std::max({p.rgb[k], p.rgb[k + 1], p.rgb[k + 2]}) > 200;
    return n;
}

TEST(flightpictures, TheGlowPulsesBrighterAQuarterPeriodLater) {
    // At 154.85 s the glow is 1 (white point 45); at 156.42 s, a quarter period later, 1.5 (65).
    // The sparks' light grows with the glow's square, faster than the white point, so they
    // burn nearer white, while the path, which the glow does not colour, dims: the mean hardly
    // moves, but a fifth more of the picture glows.
    EXPECT_GT(double(glowing(settled("156.42"))), 1.1 * double(glowing(settled("154.85"))));
}

TEST(flightpictures, TheProductionSwitchesToItAt136Seconds) {
    const tempdir dir;
    const std::string stats = dir / "stats.json";
    const std::vector<picture> frames =
        capture(dir.path(), {"--size", "160x90", "--fps", "20", "--from", "135.9", "--to", "136.2", "--stats", stats});
    ASSERT_EQ(frames.size(), 6u);
    // 135.90 and 135.95 s belong to dreamscape; 136.00 s enters flight and runs its first step
    // before it is drawn.
    const std::string figures = slurp(stats);
    EXPECT_EQ(scenefigure(figures, "dreamscape", "frames"), 2);
    EXPECT_EQ(scenefigure(figures, "flight", "frames"), 4);
    EXPECT_GT(scenefigure(figures, "flight", "steps"), 0);
    EXPECT_NE(frames[2].rgb, frames[1].rgb);
}

}  // namespace
