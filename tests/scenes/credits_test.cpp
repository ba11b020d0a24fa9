// The credits scene in this process, on a real GL context and PoCL: the order in which it
// reads its files, its random tree, its exposure and cards on the production clock, and its
// target across a window resize.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cl/ftree.h"
#include "scenes/credits.h"
#include "support/sceneprobe.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

constexpr uint32_t scenestart = 160000;

// What the tests look at inside the scene.
class probe : public sceneprobe<credits> {
public:
    ftree& hub() { return *root; }
    float exposurevalue() const { return exposure; }
    const glm::mat4& textcameravalue() const { return textview; }
    GLuint hdrprogram() { return hdr->program().name(); }
    GLuint textprogram() { return textpass.program().name(); }
    Framebuffer* framebuffer() const { return target.get(); }
    const std::vector<Texture>& linetextures() const { return lines; }
};

class creditstest : public scenetest {
protected:
    void TearDown() override {
        GLCHECKED(glDisable(GL_BLEND));
        scenetest::TearDown();
    }
};

// The sum of every channel of every pixel of an HDR image.
float total(const std::vector<glm::vec3>& image) {
    float sum = 0.0f;
    for (const glm::vec3& p : image) sum += p.r + p.g + p.b;
    return sum;
}

TEST_F(creditstest, ReadsItsFilesInOrderAndRendersTheTenLines) {
    testing::internal::CaptureStdout();
    probe s;
    std::istringstream printed(testing::internal::GetCapturedStdout());
    std::vector<std::string> files;
    for (std::string line; std::getline(printed, line);)
        if (line.rfind("file ", 0) == 0) files.push_back(line);

    auto loaded = [](const char* name) { return std::string("file resources/") + name + " loaded"; };
    std::vector<std::string> expected = {loaded("passthrough.vert"), loaded("passthrough_tri.geom"),
                                         loaded("entryway_ribbon.frag"), loaded("null.vert"),
                                         loaded("fsquad.geom"),          loaded("hdr.frag"),
                                         loaded("null.vert"),            loaded("fsquad.geom"),
                                         loaded("credits_font.frag"),    loaded("tools.slcl"),
                                         loaded("credits.slcl")};
    // Each line is drawn through its own glyph pass.
    for (int i = 0; i < 10; ++i)
        for (const char* name : {"null.vert", "fsquad.geom", "textrender.frag"}) expected.push_back(loaded(name));
    EXPECT_EQ(files, expected);

    // Seven greetings, one starting and one ending with a space, then the three credits.
    const auto& texts = credits::texts;
    EXPECT_EQ(std::count_if(texts.begin(), texts.begin() + 7, [](const char* t) { return t[0] == ' '; }), 1);
    EXPECT_EQ(std::count_if(texts.begin(), texts.begin() + 7,
                            [](const char* t) { return std::string(t).back() == ' '; }),
              1);
    EXPECT_EQ(std::string(texts[7]).rfind("Music/", 0), 0u);
    EXPECT_EQ(std::string(texts[8]).rfind("Code/", 0), 0u);
    EXPECT_EQ(std::string(texts[9]).rfind("GFX/", 0), 0u);
    ASSERT_EQ(s.linetextures().size(), 10u);
    for (const Texture& line : s.linetextures()) {
        EXPECT_NE(line.buf, 0u);
        EXPECT_GT(line.width, 2 * line.height) << "a line is one row of text";
    }
}

TEST_F(creditstest, HundredBranchesOnOneGeneratorHangOnRandomEarlierBranches) {
    probe s;

    // The scene's draws of rand() again: a parent among all nodes but the newest, and for a
    // parent other than the hub a second draw for the hundredths of its length.
    std::srand(credits::seed);
    std::vector<std::vector<int>> expectedchildren(credits::branches + 1);
    std::vector<float> expectedattach(credits::branches + 1, 0.0f);
    for (int k = 1; k <= credits::branches; ++k) {
        const int n = k;  // nodes before this one, the hub included
        const int parent = n <= 1 ? 0 : std::rand() % (n - 1);
        if (parent != 0) expectedattach[size_t(k)] = float(std::rand() % 100) * 0.01f;
        expectedchildren[size_t(parent)].push_back(k);
    }

    // Walk the tree against the expected one, node by node.
    int visited = 0;
    const CurveGenerator& shared = s.hub().children.at(0)->geometry;
    std::vector<std::pair<cltreebase*, int>> pending{{&s.hub(), 0}};
    while (!pending.empty()) {
        auto [node, k] = pending.back();
        pending.pop_back();
        ++visited;
        EXPECT_FLOAT_EQ(node->attach, expectedattach[size_t(k)]) << "branch " << k;
        ASSERT_EQ(node->children.size(), expectedchildren[size_t(k)].size()) << "branch " << k;
        for (size_t c = 0; c < node->children.size(); ++c) {
            cltreebase* child = node->children[c].get();
            EXPECT_EQ(&child->geometry.positions(), &shared.positions()) << "all branches share one generator";
            pending.emplace_back(child, expectedchildren[size_t(k)][c]);
        }
    }
    EXPECT_EQ(visited, credits::branches + 1);
    EXPECT_EQ(shared.count(), credits::branchvertices);
    EXPECT_EQ(s.hub().geometry.count(), 1);

    // Whatever rand() gives, the first two branches hang on the hub at its start.
    ASSERT_GE(s.hub().children.size(), 2u);
    for (int b : {0, 1}) EXPECT_EQ(s.hub().children[size_t(b)]->attach, 0.0f);
}

TEST_F(creditstest, ExposureRisesFromBlackToThreeOverThreeSeconds) {
    probe s;
    bringin(s, scenestart);
    EXPECT_EQ(s.exposurevalue(), 0.0f);
    s.display();
    EXPECT_EQ(uniformvalue(s.hdrprogram(), "exposure"), 0.0f);
    EXPECT_EQ(uniformvalue(s.hdrprogram(), "maxbright"), 1.0f);
    // The last line's card is in view and drawn, but nothing shows yet.
    EXPECT_GT(total(hdrimage(*s.colourtarget())), 0.0f);
    for (const glm::u8vec4& p : windowpixels()) ASSERT_EQ(glm::ivec3(p), glm::ivec3(0));

    const struct {
        uint32_t t;
        float exposure;
    } frames[] = {{1500, 1.5f}, {3000, 3.0f}, {20000, 3.0f}};
    for (const auto& frame : frames) {
        step(s, scenestart + frame.t);
        EXPECT_FLOAT_EQ(s.exposurevalue(), frame.exposure) << "at t = " << frame.t;
        s.display();
        EXPECT_FLOAT_EQ(uniformvalue(s.hdrprogram(), "exposure"), frame.exposure) << "at t = " << frame.t;
    }
    EXPECT_EQ(s.textcameravalue(), credits::textcamera(20000.0f));
    EXPECT_EQ(s.hub().shown().transform, credits::rootcamera(20000.0f));
}

TEST_F(creditstest, CardsFadeByTheFramesClockFromTheirFirstVisibility) {
    for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(credits::visibilityat(i, 0.0f), 460.0f - 40.0f * float(i));
    EXPECT_FLOAT_EQ(credits::visibilityat(9, 10000.0f), 0.0f);

    // At t = 0 only the last line's card is in view; the tree has not grown yet.
    probe s;
    bringin(s, scenestart);
    s.display();
    EXPECT_FLOAT_EQ(uniformvalue(s.textprogram(), "visibility"), 100.0f);
    const float whole = total(hdrimage(*s.colourtarget()));
    EXPECT_GT(whole, 0.0f);

    // The update clock runs ahead of the frame's: the cards follow the frame's. Half dissolved
    // at 8.5 s, gone from 10 s on, while the camera stays where it was.
    updatetime = starttime + scenestart + 20000;
    prevupdatetime = starttime + scenestart + 8500;
    s.display();
    EXPECT_FLOAT_EQ(uniformvalue(s.textprogram(), "visibility"), 15.0f);
    const float dissolving = total(hdrimage(*s.colourtarget()));
    EXPECT_GT(dissolving, 0.05f * whole);
    EXPECT_LT(dissolving, 0.95f * whole);

    prevupdatetime = starttime + scenestart + 10500;
    s.display();
    EXPECT_EQ(total(hdrimage(*s.colourtarget())), 0.0f);
}

TEST_F(creditstest, ResizeTakesTheNewSharedTargetAndLeaveDropsIt) {
    probe s;
    EXPECT_EQ(s.framebuffer(), nullptr) << "nothing to draw into before the first resize";
    bringin(s, scenestart);
    const GLuint first = s.framebuffer()->name();
    EXPECT_EQ(s.colourtarget()->buf, sharedcolor.buf);

    // The production replaces the shared targets on a window resize, then resizes the scene.
    sharedcolor = Texture(8, GL_RGB16F, 32, 24, GL_TEXTURE_2D_MULTISAMPLE);
    s.resize(32, 24);
    ASSERT_NE(s.framebuffer(), nullptr);
    EXPECT_NE(s.framebuffer()->name(), first);
    EXPECT_EQ(s.colourtarget()->buf, sharedcolor.buf);
    EXPECT_EQ(s.framebuffer()->width(), 32);
    GLint attached = 0;
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, s.framebuffer()->name()));
    GLCHECKED(glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                                    GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached));
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, 0));
    EXPECT_EQ(GLuint(attached), sharedcolor.buf);

    step(s, scenestart + 25);
    s.display();
    EXPECT_NO_THROW(glcheck("credits frame after a resize"));

    s.leave(nullptr);
    EXPECT_EQ(s.framebuffer(), nullptr);
    EXPECT_EQ(s.colourtarget(), nullptr);
}

}  // namespace
