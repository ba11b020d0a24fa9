// The HDR pass: resolves the multisampled target by averaging its samples, then tone-maps with
// exposure and white point and gamma-encodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

class hdr : public gltests::gltest {};

// The curve the pass is meant to apply, as an 8-bit display value.
glm::vec3 tonemapped(glm::vec3 value, float exposure, float maxbright) {
    glm::vec3 result;
    for (int i = 0; i < 3; ++i) {
        const float c = exposure * value[i];
        const float mapped = std::min(c * (1.0f + c / (maxbright * maxbright)) / (1.0f + c), 1.0f);
        result[i] = 255.0f * std::pow(mapped, 1.0f / 2.2f);
    }
    return result;
}

void expectnear(glm::u8vec4 pixel, glm::vec3 expected) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(float(pixel[i]), expected[i], 1.5f) << "channel " << i;
    EXPECT_EQ(pixel.a, 255);
}

TEST_F(hdr, ResolvesThenToneMaps) {
    const glm::vec3 value(6.0f, 0.5f, 0.1f);  // red beyond the white point after exposure
    const float exposure = 1.5f, maxbright = 4.0f;

    const Texture image(8, GL_RGB16F, 8, 8, GL_TEXTURE_2D_MULTISAMPLE);
    ASSERT_GT(image.samples, 1);
    Framebuffer source = Framebuffer::create();
    source.attachColor(image, 0);

    // The left half gets the value in every sample, the right half in sample 0 only.
    FSShader fill("solid.frag", 1);
    fill.setClear(false);
    fill.program().use();
    glUniform4f(fill.program().location("colour"), value.r, value.g, value.b, 1.0f);
    const glm::mat4 half = glm::scale(glm::mat4(1.0f), glm::vec3(0.5f, 1.0f, 1.0f));
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    renderInto(source, [&] {
        glEnable(GL_SAMPLE_MASK);
        glSampleMaski(0, ~0u);
        fill.setTransform(glm::translate(glm::mat4(1.0f), glm::vec3(-0.5f, 0.0f, 0.0f)) * half);
        fill.display();
        glSampleMaski(0, 1u);
        fill.setTransform(glm::translate(glm::mat4(1.0f), glm::vec3(0.5f, 0.0f, 0.0f)) * half);
        fill.display();
        glSampleMaski(0, ~0u);
        glDisable(GL_SAMPLE_MASK);
    });

    const Texture display = testsupport::rgba8texture(8, 8);
    Framebuffer target = Framebuffer::create();
    target.attachColor(display, 0);
    FSShader pass("hdr.frag", 1);
    pass.setTexture("tex", image);
    pass.setUniform("samples", image.samples);
    pass.setUniform("maxbright", maxbright);
    pass.setUniform("exposure", exposure);
    renderInto(target, pass);
    EXPECT_NO_THROW(glcheck("hdr pass"));

    expectnear(readpixel(target.name(), 1, 4), tonemapped(value, exposure, maxbright));
    expectnear(readpixel(target.name(), 6, 4),
               tonemapped(value / float(image.samples), exposure, maxbright));
}

}  // namespace
