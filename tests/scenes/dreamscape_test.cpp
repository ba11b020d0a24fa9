// The dreamscape scene in this process, on a real GL context and PoCL, driven through its state
// operations with the production clock set as the loop sets it: its channels, its camera
// schedule, its flash in the HDR target and its tone-mapping pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "cl/clcontext.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/sharedtargets.h"
#include "gl/fsshader.h"
#include "gl/texture.h"
#include "scenes/dreamscape.h"
#include "support/glpixels.h"
#include "support/sceneprobe.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

constexpr uint32_t scenestart = 88000;

// What the tests look at inside the scene.
class probe : public sceneprobe<dreamscape> {
public:
    float flashvalue() const { return flash; }
    float distortion() const { return distort; }
    // The camera matrix display draws with.
    const glm::mat4& camera() const { return root->shown().transform; }
};

const glm::vec3 centre(0.0f, 350.0f, 0.0f);

// The point a quarter turn ahead of the camera on its circle at scene time t, at height 350.
glm::vec3 ahead(float t) {
    const float a = 0.0004f * t;
    return {-1700.0f * std::sin(a), 350.0f, 1700.0f * std::cos(a)};
}

// The smallest and largest channel values of an HDR image.
std::pair<float, float> range(const std::vector<glm::vec3>& image) {
    float low = image.at(0).r, high = low;
    for (const glm::vec3& p : image)
        for (int c = 0; c < 3; ++c) {
            low = std::min(low, p[c]);
            high = std::max(high, p[c]);
        }
    return {low, high};
}

class dreamscapetest : public testsupport::scenetest {};

TEST_F(dreamscapetest, CamerasCircleTheCentreAtRadius1700AndHeight1200) {
    // Where the eye is: the one point that projects to clip (0, 0, *, 0).
    const glm::vec4 eye = dreamscape::cameracentre(0.0f) * glm::vec4(1700.0f, 1200.0f, 0.0f, 1.0f);
    EXPECT_NEAR(eye.x, 0.0f, 1e-2f);
    EXPECT_NEAR(eye.y, 0.0f, 1e-2f);
    EXPECT_NEAR(eye.w, 0.0f, 1e-2f);
    EXPECT_TRUE(looksat(dreamscape::cameracentre(0.0f), centre));
    EXPECT_GT(onscreen(dreamscape::cameracentre(0.0f), centre + glm::vec3(0.0f, 100.0f, 0.0f)).y, 0.0f)
        << "up is up";

    EXPECT_TRUE(looksat(dreamscape::cameraahead(0.0f), glm::vec3(0.0f, 350.0f, 1700.0f)));
    const glm::vec4 eyeb = dreamscape::cameraahead(0.0f) * glm::vec4(1700.0f, 1200.0f, 0.0f, 1.0f);
    EXPECT_NEAR(eyeb.w, 0.0f, 1e-2f);

    // A quarter of a turn (about 3.9 s) later the eye has moved to (0, 1200, 1700).
    const float quarter = 3.14159265f / 2.0f / 0.0004f;
    const glm::vec4 moved = dreamscape::cameracentre(quarter) * glm::vec4(0.0f, 1200.0f, 1700.0f, 1.0f);
    EXPECT_NEAR(moved.x, 0.0f, 0.05f);
    EXPECT_NEAR(moved.w, 0.0f, 0.05f);
}

TEST_F(dreamscapetest, OpensOnTheCameraLookingAheadThenSwitchesEveryFourSeconds) {
    probe s;
    bringin(s, scenestart + 25);
    EXPECT_TRUE(looksat(s.camera(), ahead(25.0f))) << "the first frame already looks ahead";

    const struct {
        uint32_t T;
        bool atcentre;
    } schedule[] = {{89000, false},  {90025, true},  {93975, true},  {94025, false}, {98025, true},
                    {102025, false}, {106025, true}, {110025, false}, {114025, true}, {135975, true}};
    for (const auto& frame : schedule) {
        step(s, frame.T);
        const float t = float(frame.T - scenestart);
        EXPECT_TRUE(looksat(s.camera(), frame.atcentre ? centre : ahead(t)))
            << "at " << frame.T << " ms the camera should look " << (frame.atcentre ? "at the centre" : "ahead");
    }
}

TEST_F(dreamscapetest, FlashFadesInHalfASecondAndDistortionRisesFrom22Seconds) {
    probe s;
    bringin(s, scenestart);
    EXPECT_FLOAT_EQ(s.flashvalue(), 500.0f);
    EXPECT_FLOAT_EQ(s.distortion(), 0.0f);

    const struct {
        uint32_t t;
        float flash, distort;
    } expected[] = {{400, 100.0f, 0.0f},  {500, 0.0f, 0.0f},   {22000, 0.0f, 0.0f},
                    {23000, 0.0f, 1.0f}, {48000, 0.0f, 26.0f}};
    for (const auto& e : expected) {
        step(s, scenestart + e.t);
        EXPECT_FLOAT_EQ(s.flashvalue(), e.flash) << "t = " << e.t;
        EXPECT_FLOAT_EQ(s.distortion(), e.distort) << "t = " << e.t;
    }
}

TEST_F(dreamscapetest, FlashIsClearedIntoTheHdrTargetAndReattachedAfterAResize) {
    probe s;
    bringin(s, scenestart);
    s.display();
    // No step has run, so nothing is drawn over the clear.
    EXPECT_EQ(range(hdrimage(*s.colourtarget())), std::make_pair(500.0f, 500.0f));
    for (const glm::u8vec4& p : windowpixels()) ASSERT_EQ(p, glm::u8vec4(255)) << "the flash is white";

    // A resize while current: the new shared target is drawn into from the next frame on.
    const Texture previous = sharedcolor;
    sharedcolor = Texture(8, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
    s.resize(windowwidth, windowheight);
    EXPECT_EQ(s.colourtarget()->buf, sharedcolor.buf);
    step(s, scenestart + 400);
    s.display();
    // Cleared to 100; the clouds' light, spread thin over so small a picture, is below what a
    // half float can add to 100.
    EXPECT_EQ(range(hdrimage(sharedcolor)).first, 100.0f);
    EXPECT_EQ(range(hdrimage(previous)), std::make_pair(500.0f, 500.0f)) << "the old target is left alone";
    for (const glm::u8vec4& p : windowpixels()) ASSERT_EQ(p, glm::u8vec4(255)) << "still white";

    step(s, scenestart + 600);
    s.display();
    int dark = 0;
    for (const glm::u8vec4& p : windowpixels()) dark += p.r < 128;
    EXPECT_GT(dark, windowwidth * windowheight / 4) << "the flash is over";
    EXPECT_GT(range(hdrimage(sharedcolor)).second, 0.0f) << "the clouds are drawn into the new target, on black";
    EXPECT_NO_THROW(glcheck("dreamscape frames"));
}

TEST_F(dreamscapetest, PassBendsNothingUntilTheDistortionStarts) {
    probe s;
    bringin(s, scenestart);
    FSShader plain("dreamscapehdr.frag", 1);
    plain.program().setUniform("res", glm::vec2(float(windowwidth), float(windowheight)));
    plain.setUniform("distort", 0.0f);
    // The same HDR image through the scene's pass and through the plain one.
    auto bothpasses = [&] {
        s.display();
        const std::vector<glm::u8vec4> own = windowpixels();
        plain.setTexture("tex", *s.colourtarget());
        plain.setUniform("samples", s.colourtarget()->samples);
        plain.setUniform("maxbright", 20.0f);
        plain.setUniform("exposure", 0.5f);
        plain.display();
        return std::make_pair(own, windowpixels());
    };

    step(s, scenestart + 21000);
    const auto [undistorted, reference] = bothpasses();
    EXPECT_EQ(undistorted, reference);

    step(s, scenestart + 37000);
    const auto [distorted, straight] = bothpasses();
    int moved = 0;
    for (size_t i = 0; i < distorted.size(); ++i) moved += distorted[i] != straight[i];
    EXPECT_GT(moved, int(distorted.size()) / 2) << "at 125 s (distortion 15) most of the picture is bent";
}

TEST_F(dreamscapetest, LeavingForGoodFreesTheClouds) {
    probe s;
    bringin(s, scenestart);
    step(s, scenestart + 100);
    const size_t before = CLContext::instance()->glbuffercount();
    s.leave(nullptr);
    EXPECT_EQ(CLContext::instance()->glbuffercount(), before - 3) << "the hub's, the ground's and the sky's";
}

}  // namespace
