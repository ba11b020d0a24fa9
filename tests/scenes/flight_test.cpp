// The flight scene in this process: its pulses and colour gains, its camera schedule and
// framings, and the tree of 3000 lines hung on the path, drawn in order.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/control.h"
#include "engine/pdata.h"
#include "scenes/flight.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

constexpr uint32_t scenestart = 136000;

// What the tests look at inside the scene.
class probe : public flight {
public:
    ftree& path() { return static_cast<ftree&>(*root->children.at(0)); }
    ftree& hub() { return *root; }
    using flight::cameras;
    float glowvalue() const { return glow; }
    float whitepointvalue() const { return whitepoint; }
    GLuint pointprogram() const { return points.name(); }
    GLuint sparkprogram() const { return sparks.name(); }
};

class flighttest : public scenetest {};

TEST_F(flighttest, GlowAndWhitePointPulseAndReachTheSparksAndPoints) {
    EXPECT_FLOAT_EQ(flight::glowat(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(flight::whitepointat(0.0f), 45.0f);
    EXPECT_NEAR(flight::glowat(1570.8f), 1.5f, 1e-6f);
    EXPECT_NEAR(flight::whitepointat(1570.8f), 65.0f, 1e-4f);

    probe s;
    bringin(s, scenestart);
    EXPECT_FLOAT_EQ(s.glowvalue(), 1.0f);
    EXPECT_FLOAT_EQ(s.whitepointvalue(), 45.0f);
    s.display();
    for (GLuint program : {s.pointprogram(), s.sparkprogram()}) {
        EXPECT_FLOAT_EQ(uniformvalue(program, "red"), 1.5f);
        EXPECT_FLOAT_EQ(uniformvalue(program, "green"), 0.8f);
        EXPECT_FLOAT_EQ(uniformvalue(program, "blue"), 0.3f);
    }

    // A quarter period later, on the step that ends there.
    step(s, scenestart + 1575);
    EXPECT_NEAR(s.glowvalue(), 1.5f, 1e-4f);
    EXPECT_NEAR(s.whitepointvalue(), 65.0f, 1e-3f);
    s.display();
    EXPECT_NEAR(uniformvalue(s.sparkprogram(), "red"), 2.25f, 1e-4f);
    EXPECT_NO_THROW(glcheck("flight frames"));
}

TEST_F(flighttest, FirstSyncCatchesUpOnCameraZeroThenCutsEveryFourSeconds) {
    probe s;
    bringin(s, scenestart);
    EXPECT_FALSE(s.sync()) << "no frame is drawn before the scene's first step";
    EXPECT_EQ(s.cameras->index, 35u) << "the 35 cuts before 136 s fire in the scene's first sync";
    EXPECT_EQ(s.cameras->index % 5, 0u);
    EXPECT_EQ(s.hub().shown().transform, flight::camera(0, 0.0f));

    const struct {
        uint32_t T;
        int camera;
    } schedule[] = {{137975, 0}, {138025, 1}, {141975, 1}, {142025, 2}, {146025, 3},
                    {150025, 4}, {154025, 0}, {158025, 1}, {159975, 1}};
    for (const auto& frame : schedule) {
        step(s, frame.T);
        EXPECT_TRUE(s.sync());
        EXPECT_EQ(int(s.cameras->index % 5), frame.camera) << "at " << frame.T << " ms";
        // What display draws: a cut is drawn on the frame whose sync fires it.
        EXPECT_EQ(s.hub().shown().transform, flight::camera(frame.camera, float(frame.T - scenestart))) << "at " << frame.T;
    }
}

TEST_F(flighttest, CamerasFlyAlongTheAxisAndThreeLooksStraightDown) {
    // Camera 3 at t = 0: the eye (0, 10, -35) is the camera's origin, and every point straight
    // below it lands in the middle of the picture.
    const glm::mat4 down = flight::camera(3, 0.0f);
    const glm::vec4 eye = down * glm::vec4(0.0f, 10.0f, -35.0f, 1.0f);
    EXPECT_NEAR(eye.w, 0.0f, 1e-4f);
    EXPECT_NEAR(eye.x, 0.0f, 1e-4f);
    EXPECT_NEAR(eye.y, 0.0f, 1e-4f);
    EXPECT_TRUE(looksat(down, glm::vec3(0.0f, 0.0f, -35.0f)));
    EXPECT_TRUE(looksat(down, glm::vec3(0.0f, -500.0f, -35.0f)));

    // Ten seconds in, cameras 0 to 2 are 300 units further along +Z and 3 and 4 are 400.
    const glm::vec3 eyes[5] = {{0.0f, 0.0f, -35.0f}, {10.0f, 0.0f, -35.0f}, {0.0f, 10.0f, -35.0f},
                               {0.0f, 10.0f, -35.0f}, {0.0f, 300.0f, -35.0f}};
    for (int k = 0; k < 5; ++k) {
        const float travelled = k < 3 ? 300.0f : 400.0f;
        const glm::vec4 moved = flight::camera(k, 10000.0f) * glm::vec4(eyes[k] + glm::vec3(0.0f, 0.0f, travelled), 1.0f);
        EXPECT_NEAR(moved.w, 0.0f, 1e-2f) << "camera " << k;
    }
}

TEST_F(flighttest, LinesHangAtThousandthsAlongThePathAndAreDrawnAfterItInOrder) {
    probe s;
    ftree& path = s.path();
    ASSERT_EQ(path.children.size(), size_t(flight::lines));
    for (const auto& line : path.children) {
        const long thousandths = std::lround(line->attach * 1000.0f);
        EXPECT_NEAR(line->attach * 1000.0f, float(thousandths), 1e-3f);
        EXPECT_GE(thousandths, 0);
        EXPECT_LE(thousandths, 999);
        EXPECT_EQ(line->geometry.count(), flight::sparksperline);
    }
    EXPECT_EQ(path.geometry.count(), flight::pathvertices);

    // Every node's callback, wrapped to record its turn.
    std::vector<int> drawn;
    auto record = [&drawn](ftree& node, int id) {
        node.drawfn = [&drawn, id, inner = node.drawfn](glm::mat4 m, VArray& va, int n) {
            drawn.push_back(id);
            inner(m, va, n);
        };
    };
    record(path, -1);
    for (int i = 0; i < flight::lines; ++i) record(static_cast<ftree&>(*path.children[size_t(i)]), i);

    bringin(s, scenestart);
    step(s, scenestart + 25);
    s.display();
    ASSERT_EQ(drawn.size(), size_t(flight::lines + 1)) << "one frame draws the path and every line once";
    for (int i = -1; i < flight::lines; ++i) ASSERT_EQ(drawn[size_t(i + 1)], i);
}

}  // namespace
