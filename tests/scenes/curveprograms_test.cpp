// The scenes' shared curve programs on bands and paths made for the test: the ribbon program
// ("passthrough_tri.geom", "entryway_ribbon.frag") lights the same pixels whether or not it
// drops the triangles wholly off screen; the path ribbon ("flight_tri.geom") still lights the
// screen's edge from a path just beyond it; sprites ("flight_pt.geom") give the same light in
// proportion to the picture at every size; a curve of glowing sprites ("flight_pt.frag") lights
// a sprite at every vertex once, a lone vertex's too, and glows alike however densely it is
// sampled.
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
    std::vector<glm::vec3> image(const std::vector<glm::vec4>& vertices, const std::function<void(VArray&)>& drawing,
                                 int w = width, int h = height) {
        const Texture target(8, GL_RGB16F, w, h, GL_TEXTURE_2D_MULTISAMPLE);
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
                GLCHECKED(glViewport(0, 0, w, h));
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

// The sprite program with its gains at 1, for a picture w x h.
Program glowprogram(const char* fragment, int w = width, int h = height) {
    Program glow("passthrough.vert", "flight_pt.geom", fragment);
    for (const char* gain : {"red", "green", "blue"}) glow.setUniform(gain, 1.0f);
    glow.setUniform("screenSize", glm::vec2(float(w), float(h)));
    return glow;
}

// The mean light of an image.
float meanlight(const std::vector<glm::vec3>& image) {
    double sum = 0;
    for (const glm::vec3& p : image) sum += double(p.r);
    return float(sum / double(image.size()));
}

TEST_F(curveprograms, SpritesGiveTheSameLightAtEverySizeOfThePicture) {
    // A row of sparks 9 to 12 pixels wide at 720 lines, in a picture of 320x180 and of
    // 1280x720: sized by the picture, they light the same share of it (in pixels, a sixteenth
    // as much of the smaller one).
    glm::mat4 eye(1.0f);
    eye[2][3] = 1.0f;
    eye[3][3] = 0.0f;
    std::vector<glm::vec4> row;
    for (int i = 0; i < 24; ++i) {
        const float z = 3.0f + float(i % 3);
        row.emplace_back((float(i) / 12.0f - 0.96f) * z, 0.1f * z, z, 0.0f);
    }
    float light[2];
    for (const int k : {0, 1}) {
        const int w = k ? 1280 : 320, h = k ? 720 : 180;
        Program sparks = glowprogram("flight_ext.frag", w, h);
        light[k] = meanlight(image(row, [&](VArray& va) { drawsprites(sparks, eye, va, int(row.size())); }, w, h));
    }
    ASSERT_GT(light[0], 0.0f);
    EXPECT_NEAR(light[1] / light[0], 1.0f, 0.05f);
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

TEST_F(curveprograms, EveryVertexOfACurveLightsItsSpriteOnce) {
    // Sprites 0.2 wide (12 pixels at 720 lines, 4.8 here) far apart on a level line, each
    // centred alike on its pixel, as the scenes draw them (a line strip): each lights the
    // pixels around it as much as any other, the first and the last too, whether one segment
    // reaches it or two; beside them nothing is lit. A line of one vertex lights its sprite as
    // much, and the vertex after it none.
    constexpr int w = 512, h = 288;
    Program glow = glowprogram("flight_pt.frag", w, h);
    const auto columnof = [&](float x) { return int((x * 0.5f + 0.5f) * float(w)); };
    // The light of the 16 x 16 pixels around x.
    const auto around = [&](const std::vector<glm::vec3>& image, float x) {
        float sum = 0.0f;
        for (int dy = -8; dy < 8; ++dy)
            for (int dx = -8; dx < 8; ++dx) sum += image[size_t(h / 2 + dy) * w + size_t(columnof(x) + dx)].r;
        return sum;
    };
    float one = 0.0f;
    for (const int n : {1, 2, 5}) {
        std::vector<glm::vec4> v;
        for (int j = 0; j < std::max(n, 2); ++j) v.emplace_back(float(64 + 96 * j) * 2.0f / float(w) - 1.0f + 1.0f / float(w), 0.0f, 0.0f, 0.2f);
        const std::vector<glm::vec3> image = this->image(v, [&](VArray& va) { drawsprites(glow, glm::mat4(1.0f), va, n); }, w, h);
        if (n == 1) {
            one = around(image, v[0].x);
            ASSERT_GT(one, 0.0f) << "a line of one vertex";
            EXPECT_EQ(around(image, v[1].x), 0.0f) << "the vertex after a line of one";
            continue;
        }
        for (const glm::vec4& p : v) {
            EXPECT_NEAR(around(image, p.x) / one, 1.0f, 0.01f) << n << " vertices, the one at " << p.x;
            EXPECT_EQ(image[size_t(h / 2) * w + size_t(columnof(p.x) + 16)].r, 0.0f) << n << " vertices, beside the one at " << p.x;
        }
    }
}

TEST_F(curveprograms, SpriteCurveGlowsAlikeHoweverDenselySampled) {
    Program glow = glowprogram("flight_pt.frag");
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
