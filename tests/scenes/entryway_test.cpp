// The entryway scene and its nested tunnel in this process: the random ribbon tree and its
// growth, the turn at 74 s that switches the camera and brings the tunnel in, the tunnel's
// camera and growth, and its whiteout in the HDR target and the pass's white point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "engine/control.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "scenes/entryway.h"
#include "scenes/entrytunnel.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

// What the tests look at inside the scenes.
class wayprobe : public entryway {
public:
    ftree& hub() { return *root; }
    using entryway::timeline;
    using entryway::cameras;
    using entryway::act;
    entrytunnel* tunnel() { return dynamic_cast<entrytunnel*>(act->currentitem()); }
};

class tunnelprobe : public entrytunnel {
public:
    ftree& tunnel() { return static_cast<ftree&>(*root->children.at(0)); }
    // The camera matrix display draws with.
    const glm::mat4& camera() const { return root->shown().transform; }
    float whiteoutvalue() const { return whiteout; }
    GLuint passprogram() { return hdr->program().name(); }
    bool passclears() const { return hdr->clear(); }
};

// The red channel of an HDR image, sorted.
std::vector<float> sortedred(const std::vector<glm::vec3>& image) {
    std::vector<float> red;
    for (const glm::vec3& p : image) red.push_back(p.r);
    std::sort(red.begin(), red.end());
    return red;
}

class entrywaytest : public scenetest {};
class entrytunneltest : public scenetest {};

TEST_F(entrywaytest, RibbonsHangOnTheHubOrOnEarlierRibbonsAsRandSays) {
    wayprobe s;

    // The scene's draws again: which node each ribbon hangs on (an index into the list of the
    // hub and the ribbons so far, never the last one) and where.
    std::srand(entryway::seed);
    std::vector<std::vector<std::pair<int, float>>> expected(entryway::ribbons + 1);
    for (int k = 0; k < entryway::ribbons; ++k) {
        const int n = k + 1;
        const int p = n <= 1 ? 0 : std::rand() % (n - 1);
        const float attach = p == 0 ? 0.0f : float(std::rand() % 100) * 0.01f;
        expected[size_t(p)].push_back({k + 1, attach});
    }
    ASSERT_GE(s.hub().children.size(), 2u);
    EXPECT_EQ(s.hub().children[0]->attach, 0.0f);
    EXPECT_EQ(s.hub().children[1]->attach, 0.0f);

    // Walk the tree and the expectation together: children keep their insertion order.
    int seen = 0;
    std::vector<std::pair<const cltreebase*, int>> pending{{&s.hub(), 0}};
    while (!pending.empty()) {
        const auto [node, index] = pending.back();
        pending.pop_back();
        const auto& want = expected[size_t(index)];
        ASSERT_EQ(node->children.size(), want.size()) << "node " << index;
        for (size_t c = 0; c < want.size(); ++c) {
            const cltreebase& child = *node->children[c];
            EXPECT_FLOAT_EQ(child.attach, want[c].second) << "ribbon " << want[c].first - 1;
            EXPECT_EQ(child.geometry.count(), entryway::ribbonvertices);
            pending.push_back({&child, want[c].first});
            ++seen;
        }
    }
    EXPECT_EQ(seen, entryway::ribbons);
    // One generator for all of them: its kernel runs once a step.
    EXPECT_EQ(s.hub().children[0]->geometry.usecount(), entryway::ribbons);
}

TEST_F(entrywaytest, RibbonSourceKeepsItsTabs) {
    const std::string expression = entryway::ribbonexpression;
    std::vector<size_t> runs;
    const std::regex tabs("\t+");
    for (auto m = std::sregex_iterator(expression.begin(), expression.end(), tabs); m != std::sregex_iterator(); ++m)
        runs.push_back(size_t(m->length()));
    EXPECT_EQ(runs, (std::vector<size_t>{9, 18, 9, 9, 9, 9, 9}));
    EXPECT_EQ(expression.substr(expression.size() - 5), "\tyt=1");
}

TEST_F(entrywaytest, GrowsWholeRibbonsInTenSecondsAndHungOnesLater) {
    wayprobe s;
    bringin(s, 56000);
    step(s, 61000);
    // Halfway: a ribbon on the hub shows half its vertices in the very step the growth is set.
    EXPECT_EQ(s.hub().children[0]->shown().drawcount, entryway::ribbonvertices / 2);
    std::vector<std::pair<const cltreebase*, float>> pending{{&s.hub(), 0.0f}};
    while (!pending.empty()) {
        const auto [node, offset] = pending.back();
        pending.pop_back();
        for (const auto& child : node->children) {
            const float reached = offset + child->attach;
            const int want = std::clamp(5000 - int(10000.0f * reached), 0, entryway::ribbonvertices);
            EXPECT_EQ(child->shown().drawcount, want) << "a ribbon hung at " << reached;
            pending.push_back({child.get(), reached});
        }
    }
}

TEST_F(entrywaytest, TurnsAndBringsInTheTunnelInOneSyncAt74Seconds) {
    wayprobe s;
    bringin(s, 56000);
    EXPECT_EQ(s.hub().shown().transform, entryway::cameraslide(0.0f));
    for (uint32_t T : {60000u, 73975u, 74000u}) {
        step(s, T);
        s.display();
        EXPECT_EQ(s.cameras->index, 0u) << T;
        EXPECT_EQ(s.act->index, 0u) << T;
        EXPECT_EQ(s.tunnel(), nullptr) << "no tunnel at " << T;
        EXPECT_EQ(s.hub().shown().transform, entryway::cameraslide(float(T - 56000))) << T;
    }
    EXPECT_EQ(sharedcolor2.usecount(), 1) << "nothing has taken the tunnel's targets";
    EXPECT_EQ(shareddepth.usecount(), 1);

    // The first sync past 74 s switches both, and resizes and enters the tunnel: it takes the
    // targets, and its camera is published in the same sync.
    at(74025);
    s.update();
    s.sync();
    EXPECT_EQ(s.cameras->index, 1u);
    EXPECT_EQ(s.act->index, 1u);
    ASSERT_NE(s.tunnel(), nullptr);
    EXPECT_EQ(sharedcolor2.usecount(), 2);
    EXPECT_EQ(shareddepth.usecount(), 2);
    EXPECT_EQ(s.tunnel()->tree().shown().transform, entrytunnel::camera(25.0f));
    step(s, 74050);
    EXPECT_EQ(s.hub().shown().transform, entryway::cameraflight(18050.0f));

    for (uint32_t T : {79975u, 80000u, 80025u, 80050u}) step(s, T);
    EXPECT_EQ(s.timeline->fired, 2);
    EXPECT_EQ(s.cameras->index, 1u) << "the 80 s event changes nothing";
    EXPECT_EQ(s.act->index, 1u);
    EXPECT_EQ(s.hub().shown().transform, entryway::cameraflight(24050.0f));

    // Six seconds in, the tunnel lies ahead of its camera and is added onto the entryway's image.
    s.display();
    const std::vector<float> tunnel = sortedred(hdrimage(sharedcolor2));
    EXPECT_GT(tunnel.back(), 0.1f);
    EXPECT_GT(sortedred(hdrimage(sharedcolor)).back(), 0.1f);
    EXPECT_NO_THROW(glcheck("entryway frames"));

    // Leaving lets go of the tunnel and its targets.
    s.leave(nullptr);
    EXPECT_EQ(sharedcolor.usecount(), 1);
    EXPECT_EQ(sharedcolor2.usecount(), 1);
    EXPECT_EQ(shareddepth.usecount(), 1);
}

TEST_F(entrywaytest, CamerasSlideRollAndFly) {
    // A looks straight at the tree's plane from 70 units, 10 units a second further along x.
    EXPECT_TRUE(looksat(entryway::cameraslide(0.0f), glm::vec3(-10.0f, 0.0f, 0.0f)));
    EXPECT_TRUE(looksat(entryway::cameraslide(10000.0f), glm::vec3(90.0f, 0.0f, -500.0f)));
    // Rolled 90 degrees after nine seconds: a point above the centre lands to its side.
    const glm::vec3 rolled = onscreen(entryway::cameraslide(9000.0f), glm::vec3(80.0f, 10.0f, 0.0f));
    EXPECT_NEAR(rolled.y, 0.0f, 1e-4f);
    EXPECT_LT(rolled.x, -0.05f);
    // B is A until the turn, then flies along -Z at 50 units a second.
    EXPECT_EQ(entryway::cameraflight(18000.0f), entryway::cameraslide(18000.0f));
    const glm::vec4 eye = entryway::cameraflight(20000.0f) * glm::vec4(190.0f, 0.0f, -30.0f, 1.0f);
    EXPECT_NEAR(eye.w, 0.0f, 1e-3f);
}

TEST_F(entrytunneltest, CameraFliesAlongTheAxisAndTheTunnelGrows300VerticesASecond) {
    EXPECT_TRUE(looksat(entrytunnel::camera(0.0f), glm::vec3(0.0f, 0.0f, 0.0f)));
    const glm::vec4 eye = entrytunnel::camera(10000.0f) * glm::vec4(0.0f, 0.0f, 280.0f, 1.0f);
    EXPECT_NEAR(eye.w, 0.0f, 1e-3f);
    EXPECT_TRUE(looksat(entrytunnel::camera(10000.0f), glm::vec3(0.0f, 0.0f, 1000.0f)));

    tunnelprobe s;
    bringin(s, 74000);
    EXPECT_EQ(s.camera(), entrytunnel::camera(0.0f));
    step(s, 80000);
    step(s, 80025);
    // The growth follows the update, so a step draws what the previous one grew; the camera
    // is that of the frame's own time, however long ago the last frame was.
    EXPECT_EQ(s.tunnel().shown().drawcount, int(float(entrytunnel::tunnelvertices) * (6000.0f * 0.000003f)));
    EXPECT_EQ(s.camera(), entrytunnel::camera(6025.0f));
    EXPECT_EQ(s.tunnel().geometry.count(), entrytunnel::tunnelvertices);
}

TEST_F(entrytunneltest, WhiteoutClearsEverBrighterWhileTheWhitePointFalls) {
    EXPECT_EQ(entrytunnel::whiteoutat(10000.0f), 0.0f);
    EXPECT_FLOAT_EQ(entrytunnel::whiteoutat(11000.0f), 10.0f);

    tunnelprobe s;
    EXPECT_FALSE(s.passclears()) << "the tunnel is added onto its parent's image";
    bringin(s, 74000);
    step(s, 84000);
    EXPECT_EQ(s.whiteoutvalue(), 0.0f);
    s.display();
    EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "maxbright"), 20.0f);
    EXPECT_LT(sortedred(hdrimage(sharedcolor2))[size_t(windowwidth * windowheight / 2)], 1.0f);

    step(s, 85000);
    EXPECT_FLOAT_EQ(s.whiteoutvalue(), 10.0f);
    s.display();
    std::vector<float> red = sortedred(hdrimage(sharedcolor2));
    EXPECT_FLOAT_EQ(red[red.size() / 2], 100.0f) << "cleared to 10 x the whiteout";
    EXPECT_GE(red.front(), 100.0f) << "nothing darker than the clear";
    EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "maxbright"), 10.0f);
    EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "exposure"), 1.0f);
    GLfloat clearcolour[4] = {-1, -1, -1, -1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearcolour);
    EXPECT_EQ(glm::vec4(clearcolour[0], clearcolour[1], clearcolour[2], clearcolour[3]), glm::vec4(0.0f))
        << "the clear colour is put back";

    // The clear colour is set only strictly after 84 s, whatever the whiteout says; then from
    // the whiteout sync published, whatever the update thread's clock reads meanwhile.
    at(84000);
    s.display();
    EXPECT_LT(sortedred(hdrimage(sharedcolor2))[red.size() / 2], 1.0f);
    at(86000);
    s.display();
    EXPECT_FLOAT_EQ(sortedred(hdrimage(sharedcolor2))[red.size() / 2], 100.0f);

    step(s, 85875);
    s.display();
    EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "maxbright"), 1.25f);
    for (uint32_t T : {85900u, 86000u, 87975u}) {
        step(s, T);
        s.display();
        EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "maxbright"), 1.0f) << T;
    }
    EXPECT_NO_THROW(glcheck("entrytunnel frames"));
}

}  // namespace
