// The scenes' shared curve programs on bands and paths made for the test: the ribbon program
// ("passthrough_tri.geom", "entryway_ribbon.frag") lights the same pixels whether or not it
// drops the triangles wholly off screen; the path ribbon ("flight_tri.geom") still lights the
// screen's edge from a path just beyond it; a spark one pixel wide ("flight_pt.geom",
// "flight_ext.frag") drawn as the pixel it lights lights it as the sprite does; a curve of
// glowing sprites ("flight_pt.frag") lights a sprite at every vertex, and glows alike however
// densely it is sampled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "diag/check.h"
#include "gl/framebuffer.h"
#include "gl/program.h"
#include "gl/resource.h"
#include "gl/shader.h"
#include "gl/texture.h"
#include "gl/varray.h"
#include "scenes/scene.h"
#include "support/scenetest.h"

using namespace talvo;
using talvo::testsupport::hdrimage;

namespace {

constexpr int width = 256, height = 64;

class curveprograms : public talvo::testsupport::scenetest {
protected:
    // The resolved HDR image of what `drawing` draws from `vertices` (x, y, z, w each), given
    // the vertex array that feeds them to attribute 0, into an 8-sample RGB16F target, added up
    // as the scenes add their light.
    std::vector<glm::vec3> image(const std::vector<glm::vec4>& vertices, const std::function<void(VArray&)>& drawing) {
        const Texture target(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
        Framebuffer framebuffer = Framebuffer::create();
        framebuffer.attachColor(target, 0);
        GLuint buffer = 0;
        GLCHECKED(glGenBuffers(1, &buffer));
        GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buffer));
        GLCHECKED(glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(glm::vec4)), vertices.data(),
                               GL_STATIC_DRAW));
        {
            VArray va = VArray::create();
            va.setAttribute(0, buffer, GL_ARRAY_BUFFER, GL_FLOAT);
            renderInto(framebuffer, [&] {
                GLCHECKED(glViewport(0, 0, width, height));
                GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
                GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
                GLCHECKED(glDisable(GL_DEPTH_TEST));
                GLCHECKED(glEnable(GL_BLEND));
                GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
                GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
                drawing(va);
                glcheck("drawing the vertices");
            });
        }
        GLCHECKED(glDeleteBuffers(1, &buffer));
        return hdrimage(target);
    }

    // `vertices` drawn as `mode` by `program` under `mat`.
    std::vector<glm::vec3> draw(Program& program, const std::vector<glm::vec4>& vertices, GLenum mode = GL_TRIANGLE_STRIP,
                                const glm::mat4& mat = glm::mat4(1.0f)) {
        return image(vertices, [&](VArray& va) { drawgeometry(program, mat, va, int(vertices.size()), mode); });
    }
};

// A ribbon like the entryway's: 120 units along x, rising 15 in a sigmoid step around its
// middle, B lifted above A by 1 to 5 along it, in 1000 steps.
std::vector<glm::vec4> sigmoidribbon() {
    std::vector<glm::vec4> v;
    for (int i = 0; i <= 2000; ++i) {
        const float f = float(i / 2) / 1000.0f;
        const float y = 15.0f / (1.0f + std::exp(-(f - 0.5f) * 30.0f)) + float(i % 2) * (1.0f + 4.0f * f);
        v.emplace_back(f * 120.0f, y, 0.0f, 1.0f);
    }
    return v;
}

// The ribbon program, dropping the triangles wholly off screen as shipped or drawing them all.
Program ribbonprogram(bool dropping) {
    std::string geometry = loadResource("passthrough_tri.geom");
    if (!dropping) {
        const size_t at = geometry.find("    if (all(greaterThan(xs, ws))");
        EXPECT_NE(at, std::string::npos) << "the off-screen test";
        geometry.erase(at, geometry.find('\n', at) - at);
    }
    Program program = Program::create();
    program.attach(Shader(GL_VERTEX_SHADER, loadResource("passthrough.vert")));
    program.attach(Shader(GL_GEOMETRY_SHADER, geometry));
    program.attach(Shader(GL_FRAGMENT_SHADER, loadResource("entryway_ribbon.frag")));
    program.link();
    program.setUniform("screenSize", glm::vec2(float(width), float(height)));
    return program;
}

TEST_F(curveprograms, RibbonLightsTheSamePixelsWithoutItsTrianglesOffScreen) {
    Program dropping = ribbonprogram(true), all = ribbonprogram(false);
    // Seen at a slant from in front of its middle: its start leaves the picture on the left,
    // its steps shrink from a pixel near the eye to a fraction of one far off.
    const glm::mat4 slant = glm::perspective(glm::radians(40.0f), float(width) / float(height), 1.0f, 1000.0f) *
                            glm::lookAt(glm::vec3(60.0f, 7.0f, 60.0f), glm::vec3(90.0f, 7.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const std::vector<glm::vec4> ribbon = sigmoidribbon();
    const std::vector<glm::vec3> dropped = draw(dropping, ribbon, GL_TRIANGLE_STRIP, slant);
    const std::vector<glm::vec3> drawn = draw(all, ribbon, GL_TRIANGLE_STRIP, slant);
    int lit = 0, leftedge = 0;
    for (size_t k = 0; k < drawn.size(); ++k) {
        if (drawn[k].b > 0.0f) ++lit;
        if (drawn[k].b > 0.0f && k % width == 0) ++leftedge;
        ASSERT_EQ(dropped[k], drawn[k]) << "pixel " << k % width << ", " << k / width;
    }
    EXPECT_GT(lit, width * height / 20) << "the ribbon is in view";
    EXPECT_GT(leftedge, 0) << "and leaves it";
}

TEST_F(curveprograms, PathJustBeyondTheRightEdgeStillLightsItByItsWidth) {
    Program path("passthrough.vert", "flight_tri.geom", "flight_tri.frag");
    // A vertical path 0.02 beyond the right edge, 0.2 wide (w): it reaches 0.08 into the
    // picture, about ten columns. A path wholly beyond the edge lights nothing.
    const std::vector<glm::vec3> near = draw(path, {{1.02f, -0.5f, 0.0f, 0.2f}, {1.02f, 0.5f, 0.0f, 0.2f}, {1.02f, 0.6f, 0.0f, 0.2f}});
    const std::vector<glm::vec3> far = draw(path, {{1.3f, -0.5f, 0.0f, 0.2f}, {1.3f, 0.5f, 0.0f, 0.2f}, {1.3f, 0.6f, 0.0f, 0.2f}});
    const size_t middle = size_t(height / 2) * width;
    EXPECT_GT(near[middle + width - 1].r, 0.01f);
    EXPECT_GT(near[middle + width - 8].r, 0.0f);
    EXPECT_EQ(near[middle + width - 16].r, 0.0f);
    for (const glm::vec3& p : far) ASSERT_EQ(p.r, 0.0f);
}

TEST_F(curveprograms, SparkDrawnAsThePixelItLightsLightsItAsTheSprite) {
    Program sparks("passthrough.vert", "flight_pt.geom", "flight_ext.frag");
    sparks.use();
    for (const char* gain : {"red", "green", "blue"}) sparks.setUniform(gain, 1.0f);
    // Sparks 4 pixels apart at 44 units from the eye, which makes them 0.98 pixels wide, at
    // offsets from their pixel's corner that sweep the whole pixel.
    glm::mat4 eye(1.0f);
    eye[2][3] = 1.0f;
    eye[3][3] = 0.0f;
    const float z = 44.0f;
    std::vector<glm::vec4> spread;
    for (int j = 0; j < height / 4; ++j)
        for (int i = 0; i < width / 4; ++i) {
            const glm::vec2 at(float(4 * i + 2) + float(i % 16) / 16.0f + 0.03f, float(4 * j + 2) + float(j % 16) / 16.0f + 0.01f);
            spread.emplace_back((at.x / float(width) * 2.0f - 1.0f) * z, (at.y / float(height) * 2.0f - 1.0f) * z, z, 0.0f);
        }
    const std::vector<glm::vec3> sprites = draw(sparks, spread, GL_LINE_STRIP, eye);
    sparks.setUniform("screenSize", glm::vec2(float(width), float(height)));
    const std::vector<glm::vec3> pixels = draw(sparks, spread, GL_LINE_STRIP, eye);

    int lit = 0;
    for (size_t k = 0; k < sprites.size(); ++k) {
        if (sprites[k].r > 0.0f) ++lit;
        EXPECT_NEAR(pixels[k].r, sprites[k].r, 0.01f) << "pixel " << k % width << ", " << k / width;
    }
    // A good share of the sparks light a pixel, and none lights more than one.
    EXPECT_GT(lit, int(spread.size()) / 2);
    EXPECT_LE(lit, int(spread.size()));
}

TEST_F(curveprograms, PathRibbonLightsNothingBeyondItsEdges) {
    Program path("passthrough.vert", "flight_tri.geom", "flight_tri.frag");
    // A level path through the middle, 0.64375 wide (w): its edges lie 10.3 rows above and
    // below row 32's bottom, so rows 42 and 21 have samples inside it but their centres, where
    // the pixel is shaded, outside.
    const float w = 0.64375f;
    const std::vector<glm::vec3> image = draw(path, {{-0.5f, 0.0f, 0.0f, w}, {0.5f, 0.0f, 0.0f, w}, {0.6f, 0.0f, 0.0f, w}});
    const size_t column = width / 2;
    EXPECT_GT(image[41 * width + column].r, 0.0f);
    EXPECT_GT(image[22 * width + column].r, 0.0f);
    EXPECT_EQ(image[42 * width + column].r, 0.0f);
    EXPECT_EQ(image[21 * width + column].r, 0.0f);
}

TEST_F(curveprograms, EveryVertexOfACurveLightsItsSprite) {
    Program glow("passthrough.vert", "flight_pt.geom", "flight_pt.frag");
    glow.use();
    for (const char* gain : {"red", "green", "blue"}) glow.setUniform(gain, 1.0f);
    // Sprites 0.2 wide (12 pixels) far apart on a level line, as the scenes draw them (a line
    // strip): each lights the pixel at its centre, the first and the last too; between them
    // nothing is lit. Two vertices, one segment, light both.
    for (const int n : {2, 5}) {
        std::vector<glm::vec4> v;
        for (int j = 0; j < n; ++j) v.emplace_back(-0.8f + 1.6f * float(j) / float(n - 1), 0.0f, 0.0f, 0.2f);
        const std::vector<glm::vec3> image = draw(glow, v, GL_LINE_STRIP);
        const size_t row = size_t(height / 2) * width;
        for (const glm::vec4& p : v) {
            const size_t column = size_t((p.x * 0.5f + 0.5f) * float(width));
            EXPECT_GT(image[row + column].r, 0.0f) << n << " vertices, the one at " << p.x;
            EXPECT_EQ(image[row + column + 16].r, 0.0f) << n << " vertices, beside the one at " << p.x;
        }
    }
}

TEST_F(curveprograms, SpriteCurveGlowsAlikeHoweverDenselySampled) {
    Program glow("passthrough.vert", "flight_pt.geom", "flight_pt.frag");
    glow.use();
    for (const char* gain : {"red", "green", "blue"}) glow.setUniform(gain, 1.0f);
    // A level curve of sprites 0.5 wide (12 pixels on screen), sampled every 0.01 and every
    // 0.005: dozens of sprites overlap at every pixel of it.
    const auto curve = [](int steps) {
        std::vector<glm::vec4> v;
        for (int j = 0; j <= steps; ++j) v.emplace_back(-0.5f + float(j) / float(steps), 0.0f, 0.0f, 0.5f);
        return v;
    };
    const size_t middle = size_t(height / 2) * width + width / 2;
    const glm::vec3 sparse = draw(glow, curve(100), GL_LINE_STRIP)[middle];
    const glm::vec3 dense = draw(glow, curve(200), GL_LINE_STRIP)[middle];
    ASSERT_GT(sparse.r, 0.0f);
    EXPECT_NEAR(dense.r / sparse.r, 1.0f, 0.05f);
}

}  // namespace
