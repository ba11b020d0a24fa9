// Copies of a GPU handle share one object, the last copy deletes it, and a deleted name never
// stays in a binding cache.
#include <gtest/gtest.h>

#include "diag/check.h"
#include "fixture.h"
#include "gl/program.h"
#include "gl/shader.h"
#include "gl/texture.h"
#include "gl/varray.h"
#include "platform/contexts.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::glinteger;
using talvo::testsupport::readpixel;

namespace {

class handles : public gltests::gltest {};

GLuint nameof(const Texture& t) { return t.buf; }
template <typename Handle>
GLuint nameof(const Handle& h) { return h.name(); }

// `only` must be the sole handle on a GL object that `exists` recognises.
template <typename Handle, typename Exists>
void expectsharedlifetime(Handle only, Exists exists) {
    const GLuint name = nameof(only);
    ASSERT_NE(name, 0u);
    ASSERT_EQ(only.usecount(), 1);
    {
        const Handle copy = only;
        Handle assigned;
        EXPECT_EQ(assigned.usecount(), 0);
        assigned = copy;
        EXPECT_EQ(nameof(copy), name);
        EXPECT_EQ(nameof(assigned), name);
        EXPECT_EQ(only.usecount(), 3);
    }
    EXPECT_EQ(only.usecount(), 1);
    EXPECT_TRUE(exists(name)) << "released with copies left";
    only = Handle();
    EXPECT_FALSE(exists(name)) << "kept after its last copy";
    EXPECT_NO_THROW(glcheck("handle released"));
}

TEST_F(handles, LastOfTheCopiesDeletesTheObject) {
    expectsharedlifetime(Texture(1, GL_RGBA8, 4, 4, GL_TEXTURE_2D),
                         [](GLuint n) { return glIsTexture(n) == GL_TRUE; });
    expectsharedlifetime(Program::create(), [](GLuint n) { return glIsProgram(n) == GL_TRUE; });
    expectsharedlifetime(Shader(GL_VERTEX_SHADER, gltests::pointsvert),
                         [](GLuint n) { return glIsShader(n) == GL_TRUE; });

    VArray va = VArray::create();
    va.draw(0, 1, GL_POINTS);  // a vertex array exists in GL once it has been bound
    expectsharedlifetime(std::move(va), [](GLuint n) { return glIsVertexArray(n) == GL_TRUE; });

    Framebuffer fb = Framebuffer::create();
    fb.attachColor(testsupport::rgba8texture(2, 2), 0);
    expectsharedlifetime(std::move(fb), [](GLuint n) { return glIsFramebuffer(n) == GL_TRUE; });
}

TEST_F(handles, ReleasingTheCurrentProgramLeavesNoProgramInUse) {
    Program first("null.vert", "fsquad.geom", "solid.frag");
    first.use();
    const GLuint firstname = first.name();
    first = Program();
    EXPECT_EQ(Program::current(), 0u);
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), 0);
    EXPECT_FALSE(glIsProgram(firstname));

    // GL may hand the freed name to the next program; it must still be made current.
    Program second("null.vert", "fsquad.geom", "solid.frag");
    second.use();
    EXPECT_EQ(Program::current(), second.name());
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(second.name()));
}

TEST_F(handles, ReleasingTheBoundVertexArrayLetsTheNextOneBind) {
    Texture target = testsupport::rgba8texture(4, 4);
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(target, 0);
    Program p("null.vert", "fsquad.geom", "solid.frag");
    p.setUniform("m", glm::mat4(1.0f));
    glUniform4f(p.location("colour"), 0.0f, 1.0f, 0.0f, 1.0f);
    fb.bind();

    VArray first = VArray::create();
    first.draw(1, 1, GL_POINTS);
    EXPECT_EQ(VArray::bound(), first.name());
    first = VArray();
    EXPECT_EQ(VArray::bound(), 0u);

    // Often the same GL name again: drawing without binding it would be a GL error.
    VArray second = VArray::create();
    glClear(GL_COLOR_BUFFER_BIT);
    second.draw(1, 1, GL_POINTS);
    EXPECT_EQ(glinteger(GL_VERTEX_ARRAY_BINDING), GLint(second.name()));
    EXPECT_NO_THROW(glcheck("draw with a new vertex array"));
    EXPECT_EQ(readpixel(fb.name(), 3, 3), glm::u8vec4(0, 255, 0, 255));

    VArray::unbind();
    EXPECT_EQ(VArray::bound(), 0u);
    EXPECT_EQ(glinteger(GL_VERTEX_ARRAY_BINDING), 0);
    second.draw(1, 1, GL_POINTS);
    EXPECT_EQ(glinteger(GL_VERTEX_ARRAY_BINDING), GLint(second.name()));
    fb.unbind();
}

// GL binds programs and vertex arrays per context: what one context has bound says nothing of
// another's. Two fresh contexts that share objects, as the render and update contexts do,
// number their vertex arrays alike.
TEST_F(handles, EachContextKeepsItsOwnBindings) {
    GLFWwindow* const fixture = glfwGetCurrentContext();
    GLFWwindow* const first = platform::createhiddencontext(8, 8, "first", nullptr);
    GLFWwindow* const second = platform::createhiddencontext(8, 8, "second", first);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Draws a green point on the current context through `pass` and `points`, into a fresh
    // target, and tells what it drew.
    const auto drawgreen = [](Program& pass, VArray& points) {
        Framebuffer fb = Framebuffer::create();
        fb.attachColor(testsupport::rgba8texture(4, 4), 0);
        fb.bind();
        pass.use();
        points.draw(1, 1, GL_POINTS);
        EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(pass.name()));
        EXPECT_EQ(glinteger(GL_VERTEX_ARRAY_BINDING), GLint(points.name()));
        EXPECT_NO_THROW(glcheck("draw on this context"));
        const glm::u8vec4 drawn = readpixel(fb.name(), 3, 3);
        fb.unbind();
        return drawn;
    };
    {
        glfwMakeContextCurrent(first);
        Program pass("null.vert", "fsquad.geom", "solid.frag");
        pass.setUniform("m", glm::mat4(1.0f));
        glUniform4f(pass.location("colour"), 0.0f, 1.0f, 0.0f, 1.0f);
        VArray onfirst = VArray::create();
        EXPECT_EQ(drawgreen(pass, onfirst), glm::u8vec4(0, 255, 0, 255));

        glfwMakeContextCurrent(second);
        EXPECT_EQ(Program::current(), 0u);
        EXPECT_EQ(VArray::bound(), 0u);
        {
            VArray onsecond = VArray::create();
            EXPECT_EQ(drawgreen(pass, onsecond), glm::u8vec4(0, 255, 0, 255));
            VArray::unbind();
        }

        // Back on the first, its own bindings still hold.
        glfwMakeContextCurrent(first);
        EXPECT_EQ(VArray::bound(), onfirst.name());
        EXPECT_EQ(glinteger(GL_VERTEX_ARRAY_BINDING), GLint(onfirst.name()));
        EXPECT_EQ(drawgreen(pass, onfirst), glm::u8vec4(0, 255, 0, 255));
    }
    glfwMakeContextCurrent(fixture);
    glfwDestroyWindow(second);
    glfwDestroyWindow(first);
}

}  // namespace
