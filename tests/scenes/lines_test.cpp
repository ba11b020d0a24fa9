// The lines scene in this process: where the 280 copies stand, the squash and the white point,
// the growth, the camera schedule, and one frame's draws.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/control.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "scenes/lines.h"
#include "support/sceneprobe.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

// What the tests look at inside the scene.
class probe : public sceneprobe<lines> {
public:
    ftree& hub() { return *root; }
    ftree& copy(int i) { return static_cast<ftree&>(*root->children.at(size_t(i))); }
    using lines::cameratimeline;
    using lines::cameras;
    GLuint passprogram() { return hdr->program().name(); }
    GLuint pointprogram() const { return points.name(); }
};

class linestest : public scenetest {};

glm::vec3 origin(const glm::mat4& m) {
    return glm::vec3(m * glm::vec4(0.0f, 0.0f, 0.0f, 1.0f));
}

TEST_F(linestest, CopiesStandOnRingsOfFive) {
    for (float T : {28000.0f, 37500.0f}) {
        const glm::vec3 first = origin(lines::placement(0, T));
        EXPECT_NEAR(first.x, 30.0f, 1e-4f);
        EXPECT_NEAR(first.y, 0.0f, 1e-4f);
        EXPECT_NEAR(first.z, 0.0f, 1e-4f);
        // Copy 5 opens ring 1: 396 degrees round, that is 36.
        const glm::vec3 fifth = origin(lines::placement(5, T));
        EXPECT_NEAR(fifth.x, 60.0f * std::cos(glm::radians(36.0f)), 1e-3f);
        EXPECT_NEAR(fifth.z, -60.0f * std::sin(glm::radians(36.0f)), 1e-3f);
        EXPECT_NEAR(glm::length(origin(lines::placement(279, T))), 1680.0f, 1e-2f);
    }
    probe s;
    bringin(s, 28000);
    for (int i : {0, 5, 279}) EXPECT_EQ(s.copy(i).transform, lines::placement(i, 28000.0f)) << "copy " << i;
}

TEST_F(linestest, SquashedInsideOutAndWhitePointRisingFrom44Seconds) {
    EXPECT_FLOAT_EQ(lines::squash(43000.0f), 1.0f);
    EXPECT_FLOAT_EQ(lines::squash(44100.0f), 0.5f);
    EXPECT_NEAR(lines::squash(44200.0f), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(lines::squash(46200.0f), -10.0f);
    EXPECT_FLOAT_EQ(lines::squash(55000.0f), -10.0f);
    // Across the axis only: x and z scaled by k, y untouched.
    const glm::mat4 flat = lines::placement(0, 44100.0f);
    EXPECT_NEAR(glm::length(glm::vec3(flat[0])), 0.5f, 1e-5f);
    EXPECT_NEAR(glm::length(glm::vec3(flat[1])), 1.0f, 1e-5f);
    EXPECT_NEAR(glm::length(glm::vec3(flat[2])), 0.5f, 1e-5f);

    EXPECT_FLOAT_EQ(lines::whitepointrise(40000.0f), 0.0f);
    EXPECT_FLOAT_EQ(lines::whitepointrise(46000.0f), 20.0f);
    EXPECT_FLOAT_EQ(lines::whitepointrise(56000.0f), 120.0f);

    probe s;
    bringin(s, 28000);
    for (const auto& [T, maxbright] : std::vector<std::pair<uint32_t, float>>{{43000, 20.0f}, {46000, 220.0f}}) {
        step(s, T);
        s.display();
        EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "maxbright"), maxbright) << "at " << T;
        EXPECT_FLOAT_EQ(uniformvalue(s.passprogram(), "exposure"), 1.0f) << "at " << T;
    }
    EXPECT_NO_THROW(glcheck("lines frames"));
}

TEST_F(linestest, CopiesGrowOutOverTheFirstSecond) {
    probe s;
    bringin(s, 28000);
    for (const auto& [T, vertices] : std::vector<std::pair<uint32_t, int>>{{28000, 0}, {28500, 700}, {29000, 1400}}) {
        step(s, T);
        for (int i : {0, 279}) EXPECT_EQ(s.copy(i).growth, vertices) << "copy " << i << " at " << T;
    }
    // Drawn one step behind the growth, whole from then on.
    step(s, 29025);
    EXPECT_EQ(s.copy(0).shown().drawcount, lines::vertices);
}

TEST_F(linestest, FirstFrameCatchesUpFourteenCutsOnCameraAThenAlternatesUntilBFrom42Seconds) {
    probe s;
    bringin(s, 28025);
    EXPECT_EQ(s.cameratimeline->fired, 14);
    EXPECT_EQ(s.cameras->index, 14u);
    EXPECT_EQ(s.hub().shown().transform, lines::camera(0, 28025.0f));

    const struct {
        uint32_t T;
        int camera;
    } schedule[] = {{29975, 0}, {30025, 1}, {32025, 0}, {40025, 0}, {42025, 1}, {50000, 1}, {55975, 1}};
    for (const auto& frame : schedule) {
        step(s, frame.T);
        EXPECT_EQ(int(s.cameras->index % 2), frame.camera) << "at " << frame.T << " ms";
        // What display draws: a cut is drawn on the frame whose sync fires it.
        EXPECT_EQ(s.hub().shown().transform, lines::camera(frame.camera, float(frame.T))) << "at " << frame.T;
    }
    EXPECT_EQ(s.cameratimeline->fired, 21);
}

TEST_F(linestest, OneFrameDrawsEveryCopyAsARibbonThenSpritesAndLeavesTheStateSet) {
    probe s;
    // Each copy's callback, wrapped: the state it leaves behind, and the draws it made.
    int callbacks = 0, wrongstate = 0;
    for (int i = 0; i < lines::copies; ++i) {
        ftree& copy = s.copy(i);
        copy.drawfn = [&, i, inner = copy.drawfn](glm::mat4 m, VArray& va, int n) {
            ++callbacks;
            inner(m, va, n);
            GLboolean depthmask = GL_FALSE;
            GLint source = 0, destination = 0, depthfunc = 0;
            glGetBooleanv(GL_DEPTH_WRITEMASK, &depthmask);
            glGetIntegerv(GL_BLEND_SRC_RGB, &source);
            glGetIntegerv(GL_BLEND_DST_RGB, &destination);
            glGetIntegerv(GL_DEPTH_FUNC, &depthfunc);
            const bool expected = !glIsEnabled(GL_BLEND) && !glIsEnabled(GL_PROGRAM_POINT_SIZE) &&
                                  !glIsEnabled(GL_DEPTH_TEST) && depthmask == GL_TRUE && source == GL_ONE &&
                                  destination == GL_ONE && depthfunc == GL_LESS &&
                                  Program::current() == s.pointprogram();
            if (!expected && wrongstate++ == 0) ADD_FAILURE() << "copy " << i << " leaves another GL state";
        };
    }

    bringin(s, 28000);
    step(s, 30000);
    step(s, 30025);
    // What the frame hands to GL: per copy a strip of n vertices (n - 2 triangles), and the same
    // n vertices as a line strip (n - 1 segments that light the n sprites); then the pass's one point.
    ASSERT_TRUE(epoxy_has_gl_extension("GL_ARB_pipeline_statistics_query"));
    GLuint queries[2] = {};
    glGenQueries(2, queries);
    glBeginQuery(GL_VERTICES_SUBMITTED_ARB, queries[0]);
    glBeginQuery(GL_PRIMITIVES_SUBMITTED_ARB, queries[1]);
    s.display();
    glEndQuery(GL_VERTICES_SUBMITTED_ARB);
    glEndQuery(GL_PRIMITIVES_SUBMITTED_ARB);
    GLuint vertices = 0, primitives = 0;
    glGetQueryObjectuiv(queries[0], GL_QUERY_RESULT, &vertices);
    glGetQueryObjectuiv(queries[1], GL_QUERY_RESULT, &primitives);
    glDeleteQueries(2, queries);
    EXPECT_NO_THROW(glcheck("lines frame"));
    const GLuint n = lines::vertices;
    EXPECT_EQ(vertices, lines::copies * 2 * n + 1);
    EXPECT_EQ(primitives, lines::copies * (2 * n - 3) + 1);

    EXPECT_EQ(callbacks, lines::copies);
    EXPECT_EQ(wrongstate, 0);
    EXPECT_EQ(uniformvalue(s.pointprogram(), "red"), 1.5f);
    EXPECT_EQ(uniformvalue(s.pointprogram(), "green"), 1.8f);
    EXPECT_EQ(uniformvalue(s.pointprogram(), "blue"), 1.3f);

    // The picture is in the window's image (the scene's parent here), not in the HDR target,
    // which holds the untone-mapped frame.
    const std::vector<glm::u8vec4> window = windowpixels();
    int lit = 0;
    for (const glm::u8vec4& p : window) lit += p.r > 0;
    EXPECT_GT(lit, 0);
}

}  // namespace
