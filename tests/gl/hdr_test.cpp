// The HDR pass: resolves the multisampled target in linear light, lets the white point scale
// every level, and hands a nested scene's picture through its parent's pass unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>
#include <glm/gtc/matrix_transform.hpp>

#include "diag/check.h"
#include "fixture.h"
#include "gl/framebuffer.h"
#include "gl/fsshader.h"
#include "gl/texture.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::readpixel;

namespace {

constexpr int size = 8;

class hdr : public gltests::gltest {
protected:
    // A multisampled HDR image, lit a quarter at a time by draw().
    // Made in SetUp, once the context exists, and gone before it.
    std::optional<Texture> image;
    std::optional<Framebuffer> source;
    std::optional<FSShader> fill;

    void SetUp() override {
        gltest::SetUp();
        image.emplace(8, GL_RGB16F, size, size, GL_TEXTURE_2D_MULTISAMPLE);
        source.emplace(Framebuffer::create());
        source->attachColor(*image, 0);
        fill.emplace("solid.frag", 1);
        fill->setClear(false);
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
    }
    void TearDown() override {
        fill.reset();
        source.reset();
        image.reset();
        gltest::TearDown();
    }

    struct light {
        float value;
        bool everysample = true;  // or sample 0 only
    };
    // Fills quarter k (columns 2k and 2k + 1) of the cleared image with the k-th light.
    void draw(const std::vector<light>& quarters) {
        renderInto(*source, [&] {
            GLCHECKED(glEnable(GL_SAMPLE_MASK));
            for (size_t k = 0; k < quarters.size(); ++k) {
                const float v = quarters[k].value;
                fill->program().use();
                GLCHECKED(glUniform4f(fill->program().location("colour"), v, v, v, 1.0f));
                fill->setTransform(glm::translate(glm::mat4(1.0f), glm::vec3(-0.75f + 0.5f * float(k), 0.0f, 0.0f)) *
                                   glm::scale(glm::mat4(1.0f), glm::vec3(0.25f, 1.0f, 1.0f)));
                GLCHECKED(glSampleMaski(0, quarters[k].everysample ? ~0u : 1u));
                fill->display();
            }
            GLCHECKED(glSampleMaski(0, ~0u));
            GLCHECKED(glDisable(GL_SAMPLE_MASK));
        });
    }

    // The pass over `source` with this exposure and white point, and for a nested pass its
    // parent's, run into `into`.
    static void pass(const Texture& source, Framebuffer& into, float exposure, float maxbright,
                     float parentexposure = 0.0f, float parentmaxbright = 1.0f) {
        FSShader hdrpass("hdr.frag", 1);
        hdrpass.setTexture("tex", source);
        hdrpass.setUniform("samples", source.samples);
        hdrpass.setUniform("maxbright", maxbright);
        hdrpass.setUniform("exposure", exposure);
        hdrpass.setUniform("parentexposure", parentexposure);
        hdrpass.setUniform("parentmaxbright", parentmaxbright);
        renderInto(into, hdrpass);
        glcheck("hdr pass");
    }

    // The red channel of each quarter of `source` after a top-level pass.
    std::vector<int> shown(float exposure, float maxbright, const Texture* source = nullptr) {
        const Texture display = testsupport::rgba8texture(size, size);
        Framebuffer target = Framebuffer::create();
        target.attachColor(display, 0);
        pass(source ? *source : *image, target, exposure, maxbright);
        std::vector<int> quarters;
        for (int q = 0; q < 4; ++q) quarters.push_back(readpixel(target.name(), 2 * q + 1, size / 2).r);
        return quarters;
    }
};

// A display value back in linear light.
float linear(int value) {
    return std::pow(float(value) / 255.0f, 2.2f);
}

TEST_F(hdr, ResolvesTheSamplesInLinearLight) {
    ASSERT_GT(image->samples, 1);
    // Light far above the white point in one sample of eight shows as an eighth of it in all.
    draw({{16.0f, false}, {16.0f / float(image->samples)}});
    const std::vector<int> q = shown(1.0f, 4.0f);
    EXPECT_GT(q[0], 0);
    EXPECT_NEAR(q[0], q[1], 1);
}

TEST_F(hdr, TheWhitePointScalesEveryLevelAndWhiteComesOnlyFarAboveIt) {
    // A tenth of the white point, the white point, ten times it.
    draw({{0.1f}, {1.0f}, {10.0f}});
    const std::vector<int> dim = shown(1.0f, 1.0f);
    const std::vector<int> dimmer = shown(1.0f, 2.0f);
    // Doubling the white point halves a dim level: the curve does not only act near it.
    EXPECT_NEAR(linear(dim[0]) / linear(dimmer[0]), 2.0f, 0.1f);
    // The white point is bright but not white; light far above it is.
    EXPECT_GT(dim[1], 225);
    EXPECT_LT(dim[1], 250);
    EXPECT_EQ(dim[2], 255);
    // And the exposure multiplies the light the white point divides.
    EXPECT_EQ(shown(2.0f, 2.0f), dim);
}

TEST_F(hdr, ANestedPassShowsThroughItsParentAsItWouldOnTheScreen) {
    // From the toe through the knee to far above the white point.
    const float values[] = {0.02f, 0.4f, 1.5f, 6.0f};
    draw({{values[0]}, {values[1]}, {values[2]}, {values[3]}});
    const std::vector<int> direct = shown(1.0f, 2.0f);

    // The nested pass writes into a parent image, which a parent with the opening's exposure and
    // white point shows.
    const Texture parentimage(8, GL_RGB16F, size, size, GL_TEXTURE_2D_MULTISAMPLE);
    Framebuffer parent = Framebuffer::create();
    parent.attachColor(parentimage, 0);
    pass(*image, parent, 1.0f, 2.0f, 10.0f, 1.0f);
    const std::vector<int> throughparent = shown(10.0f, 1.0f, &parentimage);

    for (int q = 0; q < 4; ++q) {
        EXPECT_GT(direct[q], 0) << values[q];
        EXPECT_NEAR(throughparent[q], direct[q], 1) << values[q];
    }
    EXPECT_LT(direct[2], 255);  // the shoulder is handed through, not clipped
}

}  // namespace
