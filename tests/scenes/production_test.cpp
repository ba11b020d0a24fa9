// The whole production built, played and built again in this process, as each pass of a loop
// does: the second build draws what the first drew, and nothing of the first is left to it.
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

size_t lit(const frame& f) {
    return std::count_if(f.begin(), f.end(), [](glm::u8vec4 p) { return std::max({p.r, p.g, p.b}) > 16; });
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

}  // namespace
