// Vertex arrays fed from GL buffers: 4 floats per vertex from offset 0, drawn through the
// program path that binds attribute locations before linking.
#include <gtest/gtest.h>

#include "diag/check.h"
#include "fixture.h"
#include "gl/framebuffer.h"
#include "gl/program.h"
#include "gl/resource.h"
#include "gl/shader.h"
#include "gl/varray.h"
#include "support/glpixels.h"

using namespace talvo;
using talvo::testsupport::readpixel;

namespace {

class varrays : public gltests::gltest {};

TEST_F(varrays, AttributeFromABufferPlacesThePoints) {
    Program p = Program::create();
    p.attach(Shader(GL_VERTEX_SHADER, loadResource("points.vert")));
    p.attach(Shader(GL_GEOMETRY_SHADER, loadResource("points.geom")));
    p.attach(Shader(GL_FRAGMENT_SHADER, loadResource("white.frag")));
    glBindAttribLocation(p.name(), 1, "pos");
    p.link();

    // Two points at the centres of pixels (0, 0) and (2, 3) of a 4 x 4 target.
    const float points[] = {-0.75f, -0.75f, 0.0f, 1.0f, 0.25f, 0.75f, 0.0f, 1.0f};
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(points), points, GL_STATIC_DRAW);
    VArray va = VArray::create();
    va.setAttribute(1, buffer, GL_ARRAY_BUFFER, GL_FLOAT);

    const Texture target = testsupport::rgba8texture(4, 4);
    Framebuffer fb = Framebuffer::create();
    fb.attachColor(target, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    renderInto(fb, [&] {
        p.use();
        va.draw(2, 1, GL_POINTS);
    });
    glDeleteBuffers(1, &buffer);

    EXPECT_EQ(readpixel(fb.name(), 0, 0), glm::u8vec4(255));
    EXPECT_EQ(readpixel(fb.name(), 2, 3), glm::u8vec4(255));
    EXPECT_EQ(readpixel(fb.name(), 2, 2), glm::u8vec4(0));
    EXPECT_EQ(readpixel(fb.name(), 3, 0), glm::u8vec4(0));
}

}  // namespace
