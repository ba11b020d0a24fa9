// The scenes' shared curve programs on bands and paths made for the test: the ribbon program
// ("passthrough_tri.geom", "entryway_ribbon.frag") lights each pixel of a band alike whether it
// draws its sub-pixel steps in runs or one by one; the path ribbon ("flight_tri.geom") still
// lights the screen's edge from a path just beyond it; a spark one pixel wide
// ("flight_pt.geom", "flight_ext.frag") drawn as the pixel it lights lights it as the sprite
// does; a curve of glowing sprites ("flight_pt.frag") glows alike however densely it is sampled.
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
    // the vertex array that feeds them to attribute 0 and a buffer texture that reads them,
    // into an 8-sample RGB16F target, added up as the scenes add their light.
    std::vector<glm::vec3> image(const std::vector<glm::vec4>& vertices,
                                 const std::function<void(VArray&, const Texture&)>& drawing) {
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
            const Texture strip(GL_RGBA32F, buffer);
            renderInto(framebuffer, [&] {
                GLCHECKED(glViewport(0, 0, width, height));
                GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
                GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
                GLCHECKED(glDisable(GL_DEPTH_TEST));
                GLCHECKED(glEnable(GL_BLEND));
                GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
                GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
                drawing(va, strip);
                glcheck("drawing the vertices");
            });
        }
        GLCHECKED(glDeleteBuffers(1, &buffer));
        return hdrimage(target);
    }

    // `vertices` drawn as `mode` by `program` under `mat`.
    std::vector<glm::vec3> draw(Program& program, const std::vector<glm::vec4>& vertices, GLenum mode = GL_TRIANGLE_STRIP,
                                const glm::mat4& mat = glm::mat4(1.0f)) {
        return image(vertices, [&](VArray& va, const Texture&) {
            program.use();
            program.setUniform("mat", mat);
            va.draw(int(vertices.size()), 1, mode);
        });
    }

    // `vertices` drawn as the scenes draw a ribbon, by `program` under `mat`.
    std::vector<glm::vec3> ribbon(Program& program, const std::vector<glm::vec4>& vertices, const glm::mat4& mat) {
        return image(vertices, [&](VArray& va, const Texture& strip) { drawribbon(program, strip, mat, va, int(vertices.size())); });
    }
};

// A band across the picture from x = -0.9 to 0.9 in 2048 steps of a ninth of a pixel: even
// vertices on its lower border (A), odd ones on its upper border (B), 16 pixels apart.
std::vector<glm::vec4> band() {
    std::vector<glm::vec4> v;
    for (int j = 0; j <= 2048; ++j) {
        const float x = -0.9f + 1.8f * float(j) / 2048.0f;
        v.emplace_back(x, -0.25f, 0.0f, 1.0f);
        v.emplace_back(x, 0.25f, 0.0f, 1.0f);
    }
    return v;
}

// The band turned about its middle line as it goes, its borders swinging out to `reach` times
// its half-width and crossing every 128 / `turns` pixels where it is edge-on, as a winding
// ribbon's do on screen.
std::vector<glm::vec4> twistedband(float turns, float reach) {
    std::vector<glm::vec4> v = band();
    for (glm::vec4& p : v) p.y *= reach * std::cos(p.x * turns * 3.14159265f);
    return v;
}

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

// The ribbon program with the given fragment shader, drawing runs as shipped or none (no run
// is shorter than nothing): every step its two triangles.
Program ribbonprogram(const std::string& fragment, bool runs) {
    std::string geometry = getenv("OLDGEOM") ? loadResource(getenv("OLDGEOM")) : loadResource("passthrough_tri.geom");
    if (!runs) {
        const std::string setting = "const float longestrun = ";
        const size_t at = geometry.find(setting);
        EXPECT_NE(at, std::string::npos) << "the longest run's setting";
        geometry.replace(at, geometry.find(';', at) - at, setting + "0.0");
    }
    Program program = Program::create();
    program.attach(Shader(GL_VERTEX_SHADER, loadResource("passthrough.vert")));
    program.attach(Shader(GL_GEOMETRY_SHADER, geometry));
    program.attach(Shader(GL_FRAGMENT_SHADER, fragment));
    program.link();
    program.setUniform("screenSize", glm::vec2(float(width), float(height)));
    return program;
}

float brightest(const glm::vec3& p) {
    return std::max({p.r, p.g, p.b});
}

TEST_F(curveprograms, RibbonLightsEachPixelInRunsAsStepByStep) {
    // Light 1 for every sample a triangle covers, whichever triangle it is.
    const std::string cover = "#version 330 core\nout vec4 result;\nvoid main() { result = vec4(1.0); }\n";
    const std::string light = loadResource("entryway_ribbon.frag");
    Program runscover = ribbonprogram(cover, true), stepscover = ribbonprogram(cover, false);
    Program runs = ribbonprogram(light, true), steps = ribbonprogram(light, false);
    // Seen from ahead of its start and to its side: steps from two pixels near the eye to a
    // twentieth far off, uneven in length and direction where it rises, the band narrowing to
    // two pixels.
    const glm::mat4 slant = glm::perspective(glm::radians(50.0f), float(width) / float(height), 1.0f, 1000.0f) *
                            glm::lookAt(glm::vec3(-4.0f, 2.0f, 8.0f), glm::vec3(60.0f, 7.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    // Where a band twists, its steps stand steep and narrow, and their light dithers by up to
    // three samples between two step-by-step drawings a third of a step apart: there only the
    // coverage is compared. At its widest the curling band's borders turn on a radius of 0.8
    // pixels.
    const struct {
        const char* name;
        std::vector<glm::vec4> vertices;
        glm::mat4 mat;
        bool light;
    } cases[] = {{"band", band(), glm::mat4(1.0f), true},
                 {"twisted band", twistedband(8.0f, 1.0f), glm::mat4(1.0f), false},
                 {"band curling tighter than a pixel", twistedband(12.0f, 1.8f), glm::mat4(1.0f), false},
                 {"sigmoid ribbon in perspective", sigmoidribbon(), slant, true}};
    for (const auto& c : cases) {
        const std::vector<glm::vec3> runcover = ribbon(runscover, c.vertices, c.mat), stepcover = ribbon(stepscover, c.vertices, c.mat);
        const std::vector<glm::vec3> runlight = ribbon(runs, c.vertices, c.mat), steplight = ribbon(steps, c.vertices, c.mat);
        float peak = 0.0f;
        for (const glm::vec3& p : steplight) peak = std::max(peak, brightest(p));
        float worstcover = 0.0f, sumcover = 0.0f, worstlight = 0.0f, sumlight = 0.0f;
        int lit = 0;
        for (size_t k = 0; k < runlight.size(); ++k) {
            if (stepcover[k].r > 0.0f) ++lit;
            const float d = std::abs(runcover[k].r - stepcover[k].r);
            worstcover = std::max(worstcover, d);
            sumcover += d;
            const float e = brightest(glm::abs(runlight[k] - steplight[k])) / peak;
            worstlight = std::max(worstlight, e);
            sumlight += e;
        }
        ASSERT_GT(lit, 1000) << c.name;
        // Coverage: a run's borders are chords of its steps within 1/256 of a pixel of them, so
        // only a sample that close to a border may fall on the other side: one sample position
        // at most in a pixel (a quarter: llvmpipe's eight samples share four positions), and
        // seldom.
        EXPECT_LE(worstcover, 0.25f) << c.name;
        EXPECT_LE(sumcover / float(lit), 0.002f) << c.name;
        if (!c.light) continue;
        // Light, in shares of the brightest pixel. Each draw splits a pixel's samples between
        // the two borders' triangles, by where sub-pixel slivers or a run's two triangles fall,
        // around the share each border should have there: the two may differ by a sample
        // position, a quarter of a line's light, and a little more where a pixel holds both
        // lines. On average the band drawn step by step differs as much from itself drawn a
        // third of a step further along (1.2 to 1.8 %): the runs may differ a little more.
        EXPECT_LE(worstlight, 0.3125f) << c.name;
        EXPECT_LE(sumlight / float(lit), 0.025f) << c.name;
    }
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
