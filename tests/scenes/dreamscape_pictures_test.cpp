// dreamscape as the production shows it: stills taken by quellspire-capture, compared with
// stored references so that a change of the picture is noticed; and the switch from the second
// scene into it at 88 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pictures.h"

using namespace talvo::testsupport;

namespace {

// llvmpipe and PoCL give the same picture every run on one machine, but another CPU's vector
// width may round the kernels' and the rasteriser's arithmetic differently and move a few
// sprites by a pixel or flip a few of the far sprites that are drawn by chance. Shrunk 4x4,
// such changes stay small on average and below a fifth of the range at any one pixel; a
// missing flash, a wrong camera, colours or distortion change the mean several times more.
constexpr limits dreamscapelimits{3.0, 50};

TEST(dreamscapepictures, OpensOnAWhiteFlashThatIsGoneWithinHalfASecond) {
    const std::vector<picture> frames = stills("88.05", {"--fps", "4", "--frames", "5"});
    ASSERT_EQ(frames.size(), 5u);
    const char* const moments[] = {"88.05", "88.30", "88.55", "88.80", "89.05"};

    for (int k : {0, 1})
        EXPECT_EQ(*std::min_element(frames[k].rgb.begin(), frames[k].rgb.end()), 255) << moments[k] << " s is white";
    for (int k : {2, 3, 4}) EXPECT_LT(meanof(frames[k]), 128.0) << "the flash is over at " << moments[k] << " s";
    for (int k = 0; k < 5; ++k) expectlike(frames[k], std::string("dreamscape-") + moments[k], dreamscapelimits);
}

TEST(dreamscapepictures, CamerasAndDistortionLookAsBefore) {
    // The cameras take turns every four seconds: A (at the centre) at 92, 100, 108 and from
    // 114 s, B (ahead) at 96, 104 and 112 s. The distortion starts at 110 s and is strong by
    // 128 s.
    for (const std::string moment : {"92", "96", "100", "104", "108", "112", "120", "128", "135"})
        expectlike(still(moment), "dreamscape-" + moment, dreamscapelimits);
}

TEST(dreamscapepictures, TheProductionSwitchesToItAt88SecondsWithTheFlash) {
    const tempdir dir;
    const std::vector<picture> frames =
        capture(dir.path(), {"--size", "160x90", "--fps", "20", "--from", "87.9", "--to", "88.2", "--stats", dir / "stats.json"});
    ASSERT_EQ(frames.size(), 6u);
    // 87.90 and 87.95 s belong to the second scene; dreamscape is entered in the sync of 88.00 s,
    // which runs its first step before it is drawn.
    const std::string figures = slurp(dir / "stats.json");
    EXPECT_EQ(scenefigure(figures, "entryway", "frames"), 2);
    EXPECT_EQ(scenefigure(figures, "dreamscape", "frames"), 4);
    EXPECT_GT(scenefigure(figures, "dreamscape", "steps"), 0);
    for (size_t k = 2; k < frames.size(); ++k)
        EXPECT_EQ(*std::min_element(frames[k].rgb.begin(), frames[k].rgb.end()), 255) << "frame " << k << " is white";
}

}  // namespace
