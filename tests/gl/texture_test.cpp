// Textures: window-sized targets, ordinary textures without storage, and multisampled targets
// asked for more samples than the driver has.
#include <gtest/gtest.h>

#include <algorithm>

#include "diag/check.h"
#include "engine/globals.h"
#include "fixture.h"
#include "gl/framebuffer.h"
#include "gl/texture.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::glinteger;

namespace {

class textures : public gltests::gltest {};

GLint levelparameter(GLenum target, GLenum name) {
    GLint value = 0;
    glGetTexLevelParameteriv(target, 0, name, &value);
    return value;
}

TEST_F(textures, ZeroSizeTakesTheWindowSize) {
    const Texture t(4, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
    EXPECT_EQ(t.width, windowwidth);
    EXPECT_EQ(t.height, windowheight);
    EXPECT_EQ(levelparameter(GL_TEXTURE_2D_MULTISAMPLE, GL_TEXTURE_WIDTH), windowwidth);
    EXPECT_EQ(levelparameter(GL_TEXTURE_2D_MULTISAMPLE, GL_TEXTURE_HEIGHT), windowheight);
}

TEST_F(textures, PlainTextureIsLeftBoundWithoutStorage) {
    glActiveTexture(GL_TEXTURE3);
    const Texture t(1, GL_RGBA, 16, 8, GL_TEXTURE_2D);
    EXPECT_EQ(glinteger(GL_TEXTURE_BINDING_2D), GLint(t.buf));
    EXPECT_EQ(levelparameter(GL_TEXTURE_2D, GL_TEXTURE_WIDTH), 0);
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(textures, SampleCountIsClampedToTheDriverLimit) {
    const int limit =
        std::min(glinteger(GL_MAX_COLOR_TEXTURE_SAMPLES), glinteger(GL_MAX_DEPTH_TEXTURE_SAMPLES));
    ASSERT_GE(limit, 1);

    // The production asks for 8; a larger request than the limit would be a fatal GL error.
    Texture colour, depth;
    ASSERT_NO_THROW(colour = Texture(8, GL_RGB16F, 16, 16, GL_TEXTURE_2D_MULTISAMPLE));
    EXPECT_EQ(colour.samples, std::min(8, limit));
    EXPECT_GE(levelparameter(GL_TEXTURE_2D_MULTISAMPLE, GL_TEXTURE_SAMPLES), colour.samples);
    ASSERT_NO_THROW(depth = Texture(8, GL_DEPTH_COMPONENT24, 16, 16, GL_TEXTURE_2D_MULTISAMPLE));
    EXPECT_EQ(depth.samples, colour.samples);

    // Colour and depth targets made alike fit one framebuffer.
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(colour, 0);
    fb.attachDepth(depth);
    fb.bind();
    EXPECT_EQ(glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    fb.unbind();
    EXPECT_NO_THROW(glcheck("multisampled targets"));
}

}  // namespace
