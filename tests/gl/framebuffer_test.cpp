// Framebuffer brackets: each unbind restores exactly what was current at its bind (binding,
// viewport, draw buffers), checked by reading back what lands where.
#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include "diag/check.h"
#include "engine/globals.h"
#include "fixture.h"
#include "gl/framebuffer.h"
#include "gl/fsshader.h"
#include "gl/texture.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::glinteger;
using talvo::testsupport::readpixel;
using talvo::testsupport::rgba8texture;

namespace {

const glm::u8vec4 red(255, 0, 0, 255), green(0, 255, 0, 255), blue(0, 0, 255, 255),
    white(255), yellow(255, 255, 0, 255);

class framebuffers : public gltests::gltest {
protected:
    static void clear(glm::u8vec4 c) {
        glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static glm::ivec4 viewport() {
        glm::ivec4 v(0);
        glGetIntegerv(GL_VIEWPORT, &v[0]);
        return v;
    }
};

TEST_F(framebuffers, NestedBracketsRestoreTheOuterTarget) {
    const Texture a0 = rgba8texture(32, 32), a1 = rgba8texture(32, 32), b0 = rgba8texture(16, 16);
    Framebuffer a = Framebuffer::create();
    a.attachColor(a0, 0);
    a.attachColor(a1, 1);
    Framebuffer b = Framebuffer::create();
    b.attachColor(b0, 0);
    FSShader solid("solid.frag", 1);
    solid.setClear(false);
    solid.program().use();
    glUniform4f(solid.program().location("colour"), 1.0f, 1.0f, 1.0f, 1.0f);

    a.bind();
    clear(red);
    {
        b.bind();
        EXPECT_EQ(Framebuffer::current()->name(), b.name());
        EXPECT_EQ(viewport(), glm::ivec4(0, 0, 16, 16));
        clear(green);
        b.unbind();
    }
    EXPECT_EQ(Framebuffer::current()->name(), a.name());
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), GLint(a.name()));
    EXPECT_EQ(viewport(), glm::ivec4(0, 0, 32, 32));
    // A clear reaches every draw buffer: both of a's attachments.
    clear(blue);
    EXPECT_EQ(readpixel(a.name(), 31, 31, 0), blue);
    EXPECT_EQ(readpixel(a.name(), 31, 31, 1), blue);
    // A full-viewport pass covers all of a, not just b's 16 x 16.
    solid.display();
    EXPECT_EQ(readpixel(a.name(), 31, 31, 0), white);
    EXPECT_EQ(readpixel(a.name(), 0, 0, 0), white);
    a.unbind();

    EXPECT_EQ(Framebuffer::current(), nullptr);
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(glinteger(GL_DRAW_BUFFER), GL_BACK);
    EXPECT_EQ(viewport(), glm::ivec4(0, 0, windowwidth, windowheight));
    clear(yellow);
    EXPECT_EQ(readpixel(0, windowwidth - 1, windowheight - 1), yellow);
    EXPECT_EQ(readpixel(b.name(), 15, 15), green);
    EXPECT_EQ(readpixel(a.name(), 31, 31, 0), white);
    EXPECT_NO_THROW(glcheck("nested brackets"));
}

TEST_F(framebuffers, OneFramebufferNestedInItself) {
    const Texture t = rgba8texture(8, 8);
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(t, 0);
    const Framebuffer copy = fb;

    fb.bind();
    fb.bind();
    clear(red);
    fb.unbind();
    EXPECT_EQ(Framebuffer::current()->name(), fb.name());
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), GLint(fb.name()));
    clear(green);
    fb.unbind();
    EXPECT_EQ(Framebuffer::current(), nullptr);
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(readpixel(fb.name(), 7, 7), green);
    EXPECT_EQ(fb.usecount(), 2);  // the brackets' copies are gone
}

TEST_F(framebuffers, DepthOnlyFramebufferBinds) {
    const Texture depth(1, GL_DEPTH_COMPONENT24, 8, 4, GL_TEXTURE_2D);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, 8, 4, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                 nullptr);
    Framebuffer fb = Framebuffer::create();
    fb.attachDepth(depth);
    EXPECT_TRUE(fb.buffers().empty());

    ASSERT_NO_THROW(fb.bind());
    EXPECT_EQ(viewport(), glm::ivec4(0, 0, 8, 4));
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    float value = 0.0f;
    glReadPixels(7, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &value);
    EXPECT_NEAR(value, 0.25f, 1e-6f);
    glClearDepth(1.0);
    EXPECT_NO_THROW(fb.unbind());
}

TEST_F(framebuffers, ReattachingAnIndexKeepsOneDrawBufferAndTheLastSize) {
    const Texture first = rgba8texture(8, 8), second = rgba8texture(16, 4);
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(first, 0);
    fb.attachColor(second, 0);
    EXPECT_EQ(fb.buffers(), std::vector<GLenum>{GL_COLOR_ATTACHMENT0});
    fb.bind();
    EXPECT_EQ(viewport(), glm::ivec4(0, 0, 16, 4));
    fb.unbind();
}

TEST_F(framebuffers, FramebufferReleasedInsideItsBracketLivesUntilItCloses) {
    const Texture t = rgba8texture(4, 4);
    GLuint name = 0;
    {
        Framebuffer fb = Framebuffer::create();
        fb.attachColor(t, 0);
        name = fb.name();
        fb.bind();
    }
    ASSERT_NE(Framebuffer::current(), nullptr);
    EXPECT_EQ(Framebuffer::current()->name(), name);
    EXPECT_TRUE(glIsFramebuffer(name));
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), GLint(name));
    clear(blue);
    EXPECT_EQ(readpixel(name, 0, 0), blue);

    Framebuffer::current()->unbind();
    EXPECT_EQ(Framebuffer::current(), nullptr);
    EXPECT_FALSE(glIsFramebuffer(name));
    EXPECT_EQ(glinteger(GL_DRAW_FRAMEBUFFER_BINDING), 0);
}

}  // namespace
