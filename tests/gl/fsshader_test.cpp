// Full-screen passes: texture inputs keep their units, and a pass that does not clear draws
// over what its target holds.
#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include "fixture.h"
#include "gl/framebuffer.h"
#include "gl/fsshader.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::glinteger;
using talvo::testsupport::readpixel;
using talvo::testsupport::rgba8texture;

namespace {

class passes : public gltests::gltest {};

TEST_F(passes, AnInputKeepsItsUnitAndNewInputsTakeTheNext) {
    const Texture red = rgba8texture(1, 1, {255, 0, 0, 0});
    const Texture green = rgba8texture(1, 1, {0, 255, 0, 0});
    const Texture blue = rgba8texture(1, 1, {0, 0, 255, 255});
    const Texture target = rgba8texture(4, 4);
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(target, 0);

    FSShader pass("inputs.frag", 1);
    pass.setTexture("a", red);
    pass.setTexture("b", green);
    pass.setTexture("a", blue);
    EXPECT_EQ(red.usecount(), 1);  // the replaced input let go of it
    renderInto(fb, pass);

    EXPECT_EQ(readpixel(fb.name(), 1, 1), glm::u8vec4(0, 255, 255, 255));
    GLint unit = -1;
    Program& p = pass.program();
    glGetUniformiv(p.name(), p.location("a"), &unit);
    EXPECT_EQ(unit, 0);
    glGetUniformiv(p.name(), p.location("b"), &unit);
    EXPECT_EQ(unit, 1);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(glinteger(GL_TEXTURE_BINDING_2D), GLint(blue.buf));
}

TEST_F(passes, PassWithoutClearDrawsOverTheTarget) {
    const Texture target = rgba8texture(8, 8, {255, 0, 0, 255});
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(target, 0);
    FSShader pass("solid.frag", 1);
    pass.program().use();
    glUniform4f(pass.program().location("colour"), 0.0f, 1.0f, 0.0f, 1.0f);
    // A card over the left half of the target.
    pass.setTransform(glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(-0.5f, 0.0f, 0.0f)),
                                 glm::vec3(0.5f, 1.0f, 1.0f)));
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

    const FSShader copy = pass;  // copies share the flag
    pass.setClear(false);
    EXPECT_FALSE(copy.clear());
    renderInto(fb, pass);
    EXPECT_EQ(readpixel(fb.name(), 1, 4), glm::u8vec4(0, 255, 0, 255));
    EXPECT_EQ(readpixel(fb.name(), 6, 4), glm::u8vec4(255, 0, 0, 255));

    pass.setClear(true);
    renderInto(fb, pass);
    EXPECT_EQ(readpixel(fb.name(), 1, 4), glm::u8vec4(0, 255, 0, 255));
    EXPECT_EQ(readpixel(fb.name(), 6, 4), glm::u8vec4(0));
}

}  // namespace
