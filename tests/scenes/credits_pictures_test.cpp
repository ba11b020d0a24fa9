// credits as the production shows it: stills taken by quellspire-capture from the scene's first
// half second to its last frame, compared with stored references so that a change of the
// picture is noticed, and cards that are readable at the still size.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/pictures.h"

using namespace talvo::testsupport;

namespace {

// The ribbons are lines two pixels wide on thin triangles and the cards are text a few dozen
// pixels high: another CPU's rounding in PoCL or llvmpipe may move an edge by a pixel, which
// the 4x4 shrink turns into small changes, below a fifth of the range at any pixel. A card in
// the wrong place or state, a tree grown differently or a wrong exposure changes the mean
// several times more.
constexpr limits creditslimits{3.0, 50};

// Pixels near white: the cards' ink, which the blue ribbons do not reach.
int whitepixels(const picture& p) {
    int count = 0;
    for (size_t i = 0; i + 2 < p.rgb.size(); i += 3) count += std::min({p.rgb[i], p.rgb[i + 1], p.rgb[i + 2]}) >= 200;
    return count;
}

TEST(creditspictures, TreeAndCardsLookAsBeforeFromStartToEnd) {
    // Every 5.5 s from 160.5 s, then the last frame before the end.
    std::vector<picture> frames = stills("160.5", {"--fps", "2/11", "--frames", "7"});
    ASSERT_EQ(frames.size(), 7u);
    frames.push_back(still("193.95"));
    const char* const moments[] = {"160.5", "166", "171.5", "177", "182.5", "188", "193.5", "193.95"};
    for (size_t k = 0; k < frames.size(); ++k) expectlike(frames[k], std::string("credits-") + moments[k], creditslimits);

    // At 166 s "Code/..." and "GFX/..." stand side by side, fully shown; half a second in, the
    // exposure is still low and nothing is near white.
    EXPECT_GT(whitepixels(frames[1]), 150) << "the cards at 166 s are bright enough to read";
    EXPECT_EQ(whitepixels(frames[0]), 0);
}

}  // namespace
