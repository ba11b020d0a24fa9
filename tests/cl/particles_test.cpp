// The flow particles on PoCL: the initial cloud, one kernel run per step carried on from the
// last, the flow staying in bounds, and the camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "cl/buffer.h"
#include "cl/clprogram.h"
#include "cl/particles.h"
#include "support/clfixture.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/resource.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

constexpr int floats = particles::count * 4;

// What the tests read inside the particles.
class probe : public particles {
public:
    using particles::colours;
    using particles::drawpositions;
    using particles::initial;
    using particles::initialcolour;
    using particles::positions;
    using particles::shader;
};

class particlestest : public cltest {
protected:
    void SetUp() override {
        cltest::SetUp();
        starttime = 1000;
        at(12000);
    }
    static void at(uint32_t T) { updatetime = prevupdatetime = starttime + T; }
};

std::vector<float> contents(const Buffer<float>& b) {
    return glfloats(b.buf(), b.size());
}

glm::mat4 uniformmatrix(GLuint program, const char* name) {
    glm::mat4 m(-1.0f);
    glGetUniformfv(program, glGetUniformLocation(program, name), &m[0][0]);
    return m;
}

TEST_F(particlestest, EnterStartsOneCloudInTheCubeWithAgesBelowTwo) {
    probe p;
    EXPECT_TRUE(p.initial.empty()) << "nothing is set up before the first entry";
    p.enter(nullptr);

    const std::vector<float>& cloud = p.initial;
    ASSERT_EQ(cloud.size(), size_t(floats));
    for (size_t i = 0; i < cloud.size(); i += 4) {
        for (size_t axis = 0; axis < 3; ++axis) {
            ASSERT_GE(cloud[i + axis], -10.0f) << "particle " << i / 4;
            ASSERT_LE(cloud[i + axis], 9.998f) << "particle " << i / 4;
        }
        ASSERT_GE(cloud[i + 3], 0.0f);
        ASSERT_LE(cloud[i + 3], 1.9998f);
    }
    EXPECT_EQ(p.initialcolour, std::vector<float>(floats, 0.0f));
    EXPECT_EQ(contents(p.positions), cloud);
    EXPECT_EQ(contents(p.colours), std::vector<float>(floats, 0.0f));

    // Entering again carries on: no second cloud outgrows the buffers the kernel holds.
    p.update();
    const std::vector<float> flowing = contents(p.positions);
    p.enter(nullptr);
    EXPECT_EQ(p.initial.size(), size_t(floats));
    EXPECT_EQ(contents(p.positions), flowing);
    EXPECT_NO_THROW(glcheck("entering twice"));
}

TEST_F(particlestest, EachUpdateIsOneKernelRunOverEveryParticleWhateverTheTimeTaken) {
    probe p;
    p.enter(nullptr);

    // The same kernel by hand, on a copy of the cloud.
    CLProgram reference(loadResource("particles.cl"), cloptions);
    reference.createKernel("flowparticles");
    Buffer<float> positions, colours;
    positions.upload(p.initial);
    colours.upload(p.initialcolour);
    reference.setArg("flowparticles", 0, positions);
    reference.setArg("flowparticles", 1, colours);
    auto runreference = [&](float seconds) {
        reference.setArg("flowparticles", 2, 0.025f);
        reference.setArg("flowparticles", 3, seconds);
        reference.run("flowparticles", particles::count, true);
    };

    // A step 25 ms on, then one after a long stall: one run each, carried on from the last.
    std::vector<float> before = p.initial;
    for (uint32_t T : {12025u, 13025u}) {
        at(T);
        p.update();
        runreference(float(T) * 0.001f);
        const std::vector<float> after = contents(p.positions);
        ASSERT_EQ(after.size(), size_t(floats));
        EXPECT_EQ(after, contents(positions)) << "at " << T;
        EXPECT_EQ(contents(p.colours), contents(colours)) << "at " << T;
        int moved = 0;
        for (size_t i = 0; i < after.size(); i += 4)
            moved += after[i] != before[i] || after[i + 1] != before[i + 1] || after[i + 2] != before[i + 2];
        EXPECT_EQ(moved, particles::count) << "every particle moves in a step, at " << T;
        before = after;
    }

    // sync publishes what the kernel left into the drawn buffers.
    EXPECT_TRUE(p.sync());
    EXPECT_EQ(contents(p.drawpositions), before);
}

TEST_F(particlestest, FlowKeepsMovingAndStaysFiniteAndNear) {
    probe p;
    p.enter(nullptr);
    std::vector<float> last = p.initial;
    for (int step = 1; step <= 400; ++step) {
        at(12000 + 25 * uint32_t(step));
        p.update();
        if (step % 50 != 0 && step != 1) continue;
        const std::vector<float> now = contents(p.positions);
        double travelled = 0.0;
        for (size_t i = 0; i < now.size(); i += 4) {
            const glm::vec3 q(now[i], now[i + 1], now[i + 2]);
            ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z)) << "step " << step;
            ASSERT_LT(glm::length(q), 30.0f) << "particle " << i / 4 << " has left, step " << step;
            ASSERT_TRUE(std::isfinite(now[i + 3]));
            travelled += glm::length(q - glm::vec3(last[i], last[i + 1], last[i + 2]));
        }
        EXPECT_GT(travelled / particles::count, 0.01) << "the flow has stalled by step " << step;
        last = now;
    }
    // The colours are the kernel's: finite, brightness within 0..1.
    const std::vector<float> colours = contents(p.colours);
    for (size_t i = 0; i < colours.size(); i += 4) {
        ASSERT_TRUE(std::isfinite(colours[i]) && std::isfinite(colours[i + 1]) && std::isfinite(colours[i + 2]));
        ASSERT_GE(colours[i + 3], 0.0f);
        ASSERT_LE(colours[i + 3], 1.0f);
    }
}

TEST_F(particlestest, CameraIsTheInfinitePerspectiveOnTheViewTumblingWithTheUpdateClock) {
    const int width = windowwidth, height = windowheight;
    windowwidth = 128;
    windowheight = 64;
    const float h = 0.1f * std::tan(glm::radians(22.5f));
    const float r = h * 2.0f;
    glm::mat4 P(0.0f);
    P[0][0] = 0.2f / (2.0f * r);
    P[1][1] = 0.2f / (2.0f * h);
    P[2][2] = -1.0f;
    P[2][3] = -1.0f;
    P[3][2] = -0.2f;
    const glm::mat4 V = glm::lookAt(glm::vec3(13.0f, 1.0f, 12.0f), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const glm::mat4 rot = particles::camera(0.0f);
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) EXPECT_NEAR(rot[c][row], (P * V)[c][row], 1e-5f) << c << "," << row;
    // Column 0 of P * V is P[0][0] times V's row 0: its length against column 1's gives the
    // ratio of the projection's two scales.
    EXPECT_NEAR(P[0][0], 0.5f * P[1][1], 1e-6f);
    EXPECT_NEAR(glm::length(glm::vec3(rot[0][0], rot[1][0], rot[2][0])),
                0.5f * glm::length(glm::vec3(rot[0][1], rot[1][1], rot[2][1])), 1e-5f);

    probe p;
    p.enter(nullptr);
    p.sync();
    at(0);
    p.display();
    EXPECT_EQ(uniformmatrix(p.shader.name(), "rot"), rot);
    // The frame's start of the update clock, not where the update thread has got to since.
    prevupdatetime = starttime + 16000;
    updatetime = starttime + 16025;
    p.display();
    EXPECT_EQ(uniformmatrix(p.shader.name(), "rot"), particles::camera(16000.0f));
    EXPECT_NE(particles::camera(16000.0f), rot);
    EXPECT_NO_THROW(glcheck("particles drawn"));
    windowwidth = width;
    windowheight = height;
}

}  // namespace
