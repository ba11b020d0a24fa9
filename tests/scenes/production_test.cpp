// The whole production built, played and built again in this process, as each pass of a loop
// does: the second build draws what the first drew, and nothing of the first is left to it;
// and built with one scene's random draws shifted, the other scenes draw what they drew.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/loop.h"
#include "app/production.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "support/glcontext.h"
#include "support/glpixels.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

// Numbers that the next rand() discards first. Set before a build, it shifts the draws of the
// scene that draws first (credits, built first), as a change to that scene's tree would: the
// scenes are built one after another inside the production's constructor, which has no place
// between them for a test to draw, and should not have one.
int extradraws = 0;

}  // namespace

// The C library's rand() for this test executable, with the extra draws in front.
extern "C" int rand() noexcept {
    static const auto next = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
    for (; extradraws > 0; --extradraws) next();
    return next();
}

namespace {

using frame = std::vector<glm::u8vec4>;

// Half a second of steps from `from`, on the clock the loop starts, then the frame drawn.
frame playfrom(uint32_t from) {
    startclock(from, from);
    syncframe();
    runsteps(from + 525, updatetime, -1, [] { current->update(); });
    syncframe();
    displayframe();
    return windowpixels();
}

// One pass: a production built from scratch, a frame of flight and one of credits, both of
// which build random trees.
std::vector<frame> pass() {
    std::vector<frame> frames;
    playproduction([&](demostart&) {
        frames.push_back(playfrom(150000));
        frames.push_back(playfrom(170000));
    });
    return frames;
}

// Pixels lit at all: flight's web of sparks, in so small a window, is the 1280x720 picture
// box-filtered, and dim.
size_t lit(const frame& f) {
    return std::count_if(f.begin(), f.end(), [](glm::u8vec4 p) { return std::max({p.r, p.g, p.b}) > 2; });
}

class production : public gltest {};

TEST_F(production, BuiltAgainItDrawsTheSameFrames) {
    const std::vector<frame> first = pass();
    // Whatever else draws on rand() in between.
    for (int i = 0; i < 100; ++i) std::rand();
    const std::vector<frame> second = pass();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_GT(lit(first[i]), first[i].size() / 20) << "frame " << i << " is dark";
        EXPECT_TRUE(first[i] == second[i]) << "frame " << i << " differs between the builds";
    }
    EXPECT_EQ(current, nullptr);
}

TEST_F(production, ShiftingOneScenesDrawsLeavesTheOtherScenesFramesAsTheyWere) {
    // A frame of every scene that draws random numbers: the opening's particles, entryway,
    // flight and credits.
    const auto frames = [] {
        std::vector<frame> frames;
        playproduction([&](demostart&) {
            for (uint32_t from : {16000u, 62000u, 150000u, 170000u}) frames.push_back(playfrom(from));
        });
        return frames;
    };
    const std::vector<frame> before = frames();
    extradraws = 1;
    const std::vector<frame> shifted = frames();
    ASSERT_EQ(extradraws, 0) << "nothing drew";
    ASSERT_EQ(before.size(), 4u);
    ASSERT_EQ(shifted.size(), 4u);
    EXPECT_FALSE(before[3] == shifted[3]) << "credits' tree is where it was: the shift missed it";
    const char* const others[] = {"the particles", "entryway", "flight"};
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(before[i] == shifted[i]) << others[i] << " moved with credits' draws";
}

// A seek builds the production anew while the clocks stand where the pass before left them.
// Nothing built may keep that time: dreamscape's second camera, entered at the cut at 114 s,
// would show where it stood then.
TEST_F(production, BuiltAfterALaterPassItDrawsTheSameFrames) {
    const auto acrossthecut = [] {
        frame f;
        playproduction([&](demostart&) { f = playfrom(113950); });
        return f;
    };
    startclock(0, 0);
    const frame fresh = acrossthecut();
    startclock(1000, 118975);
    const frame afterwards = acrossthecut();
    EXPECT_GT(lit(fresh), fresh.size() / 20) << "the frame is dark";
    EXPECT_TRUE(fresh == afterwards) << "the frame depends on the clocks the production was built at";
}

}  // namespace
