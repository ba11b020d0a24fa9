// The scenes' shared curve programs on bands and paths made for the test: the ribbon program
// ("passthrough_tri.geom", "entryway_ribbon.frag") lights a band alike whether its steps are
// pixels long or far below a pixel, where it draws runs of them as single triangles; the path
// ribbon ("flight_tri.geom") still lights the screen's edge from a path just beyond it; a spark
// one pixel wide ("flight_pt.geom", "flight_ext.frag") drawn as the pixel it lights lights it as
// the sprite does.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "diag/check.h"
#include "gl/framebuffer.h"
#include "gl/program.h"
#include "gl/texture.h"
#include "gl/varray.h"
#include "support/scenetest.h"

using namespace talvo;
using talvo::testsupport::hdrimage;

namespace {

constexpr int width = 256, height = 64;

class curveprograms : public talvo::testsupport::scenetest {
protected:
    // The resolved HDR image of `vertices` (x, y, z, w each) drawn as a triangle strip (or
    // `mode`) by `program` under `mat` into an 8-sample RGB16F target, added up as the scenes
    // add their light.
    std::vector<glm::vec3> draw(Program& program, const std::vector<glm::vec4>& vertices, GLenum mode = GL_TRIANGLE_STRIP,
                                const glm::mat4& mat = glm::mat4(1.0f)) {
        const Texture image(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
        Framebuffer target = Framebuffer::create();
        target.attachColor(image, 0);
        GLuint buffer = 0;
        GLCHECKED(glGenBuffers(1, &buffer));
        GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buffer));
        GLCHECKED(glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(glm::vec4)), vertices.data(),
                               GL_STATIC_DRAW));
        VArray va = VArray::create();
        va.setAttribute(0, buffer, GL_ARRAY_BUFFER, GL_FLOAT);
        renderInto(target, [&] {
            GLCHECKED(glViewport(0, 0, width, height));
            GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
            GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
            GLCHECKED(glDisable(GL_DEPTH_TEST));
            GLCHECKED(glEnable(GL_BLEND));
            GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
            GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
            program.use();
            program.setUniform("mat", mat);
            va.draw(int(vertices.size()), 1, mode);
            glcheck("drawing the vertices");
        });
        GLCHECKED(glDeleteBuffers(1, &buffer));
        return hdrimage(image);
    }
};

// A band across the picture from x = -0.9 to 0.9 in `pairs` steps: even vertices on its lower
// border (A), odd ones on its upper border (B), 16 pixels apart.
std::vector<glm::vec4> band(int pairs) {
    std::vector<glm::vec4> v;
    for (int j = 0; j <= pairs; ++j) {
        const float x = -0.9f + 1.8f * float(j) / float(pairs);
        v.emplace_back(x, -0.25f, 0.0f, 1.0f);
        v.emplace_back(x, 0.25f, 0.0f, 1.0f);
    }
    return v;
}

// The mean of the red channel over the middle half of row y.
float rowmean(const std::vector<glm::vec3>& image, int y) {
    float sum = 0.0f;
    for (int x = width / 4; x < 3 * width / 4; ++x) sum += image[size_t(y) * width + size_t(x)].r;
    return sum / float(width / 2);
}

TEST_F(curveprograms, RibbonLightsItsBordersAlikeInLongStepsAndInStepsFarBelowAPixel) {
    Program ribbon("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag");
    ribbon.use();
    ribbon.setUniform("screenSize", glm::vec2(float(width), float(height)));
    // 24 steps of 9.6 pixels, drawn one triangle each; 2048 steps of a ninth of a pixel, drawn
    // in runs.
    const std::vector<glm::vec3> coarse = draw(ribbon, band(24));
    const std::vector<glm::vec3> fine = draw(ribbon, band(2048));

    // At a share u of the way from A to B (height h), triangles with their edge on A cover
    // 1 - u of a row and those with their edge on B cover u: each border's line weighs in by
    // how much of the row its triangles cover. The fill is even; the eye is 1 away.
    const float h = 16.0f, dim = 1.0f / 1.01f;
    for (int y = 24; y < 40; ++y) {
        const float d = float(y) + 0.5f - 24.0f, u = d / h;
        const float line = (1.0f - u) * std::exp2(-d * d * 0.5f) + u * std::exp2(-(h - d) * (h - d) * 0.5f);
        const float expected = (0.25f * line * 0.12f + 0.35f * 0.015f) * dim;
        EXPECT_NEAR(rowmean(coarse, y), expected, 0.04f * expected) << "row " << y << " in long steps";
        EXPECT_NEAR(rowmean(fine, y), expected, 0.04f * expected) << "row " << y << " in runs";
    }
    // Outside the band nothing is lit.
    EXPECT_EQ(rowmean(fine, 10), 0.0f);
    EXPECT_EQ(rowmean(fine, 50), 0.0f);
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
    const std::vector<glm::vec3> sprites = draw(sparks, spread, GL_POINTS, eye);
    sparks.setUniform("screenSize", glm::vec2(float(width), float(height)));
    const std::vector<glm::vec3> pixels = draw(sparks, spread, GL_POINTS, eye);

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

}  // namespace
