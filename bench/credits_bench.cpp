// The credits scene against the same work done without the engine, in the same process and
// context:
//   text     the start-up text: the font opened and sized and the twelve strings of the
//            production (the ten credits lines and the two titles) rendered with renderText,
//            one pass per glyph, against FreeType's bitmaps laid out on the CPU and uploaded
//            with one glTexImage2D (and its mipmaps) per string;
//   update   the scene's step (growth, channels, the tree's bracket: acquire, the hub and branch
//            kernels, the read-backs for the branches hanging on them, release) against the
//            same two kernel sources enqueued on plain OpenCL buffers and finished;
//   frame    the scene's sync (publishing) and display (100 ribbons through the tree, ten card
//            passes, the HDR pass) against the same programs drawing the same vertices with
//            the same matrices with plain GL calls into a target of the same kind.
// Rounds alternate between the two sides so that both see the same load. Prints the medians
// and the engine/raw ratios.
//
//   credits_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                  display, Xvfb will do)
#include <epoxy/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "bench/support/benchmain.h"
#include "bench/support/rawgl.h"
#include "bench/support/rawkernels.h"
#include "bench/support/scenebench.h"
#include "bench/support/timing.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/resource.h"
#include "scenes/credits.h"
#include "text/rendertext.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

const char* const fontfile = "exmouth/exmouth_.ttf";
constexpr float scenestart = 160000.0f;
// Each text round renders twelve strings twice; a few rounds give a steady median.
constexpr int textrounds = 5;

// The strings the production renders at start-up.
std::vector<std::string> startuptexts() {
    std::vector<std::string> texts(credits::texts.begin(), credits::texts.end());
    texts.insert(texts.end(), {"TalvoX001", "Quellspire"});
    return texts;
}

void enginetext(const std::vector<std::string>& texts) {
    {
        std::vector<Texture> textures;
        Font font(fontfile);
        font.setsize();
        for (const std::string& text : texts) textures.push_back(renderText(font, text));
        GLCHECKED(glFinish());
    }
    GLCHECKED(glDisable(GL_BLEND));
}

// The same strings without the engine: FreeType's glyph bitmaps added into one image per
// string on the CPU (coverage in every channel, rows from the bottom as GL has them), uploaded
// with mipmaps.
void rawtext(const std::vector<std::string>& texts) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FTCHECKED(FT_Init_FreeType(&library));
    FTCHECKED(FT_New_Face(library, resourcePath(fontfile).c_str(), 0, &face));
    FTCHECKED(FT_Set_Pixel_Sizes(face, 0, Font::pixelheight));
    std::vector<GLuint> textures(texts.size());
    GLCHECKED(glGenTextures(GLsizei(textures.size()), textures.data()));
    GLCHECKED(glPixelStorei(GL_UNPACK_ALIGNMENT, 1));
    for (size_t s = 0; s < texts.size(); ++s) {
        int width = 0, x = 0, ascent = 0, descent = 0;
        for (char c : texts[s]) {
            FTCHECKED(FT_Load_Glyph(face, FT_Get_Char_Index(face, FT_ULong(c)), FT_LOAD_RENDER));
            const FT_GlyphSlot g = face->glyph;
            x += int(g->advance.x >> 6);
            width = std::max(width, x);
            ascent = std::max(ascent, g->bitmap_top);
            descent = std::max(descent, int(g->bitmap.rows) - g->bitmap_top);
        }
        const int height = ascent + descent;
        std::vector<unsigned char> image(size_t(width) * size_t(height) * 4, 0);
        x = 0;
        for (char c : texts[s]) {
            FTCHECKED(FT_Load_Glyph(face, FT_Get_Char_Index(face, FT_ULong(c)), FT_LOAD_RENDER));
            const FT_GlyphSlot g = face->glyph;
            for (int r = 0; r < int(g->bitmap.rows); ++r)
                for (int col = 0; col < int(g->bitmap.width); ++col) {
                    const int px = x + g->bitmap_left + col, py = descent + g->bitmap_top - 1 - r;
                    if (px < 0 || px >= width || py < 0 || py >= height) continue;
                    unsigned char* texel = &image[(size_t(py) * size_t(width) + size_t(px)) * 4];
                    const int sum = texel[0] + g->bitmap.buffer[r * g->bitmap.pitch + col];
                    std::fill(texel, texel + 4, (unsigned char)std::min(sum, 255));
                }
            x += int(g->advance.x >> 6);
        }
        GLCHECKED(glBindTexture(GL_TEXTURE_2D, textures[s]));
        GLCHECKED(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data()));
        GLCHECKED(glGenerateMipmap(GL_TEXTURE_2D));
    }
    GLCHECKED(glFinish());
    GLCHECKED(glDeleteTextures(GLsizei(textures.size()), textures.data()));
    FTCHECKED(FT_Done_Face(face));
    FTCHECKED(FT_Done_FreeType(library));
}

// The scene opened up to the benchmark; each display records every ribbon's matrix and vertex
// count for the raw side.
class benchscene : public credits {
public:
    benchscene() {
        forbranches(*root, [this](ftree& node) {
            node.drawfn = [this, inner = node.drawfn](glm::mat4 m, VArray& va, int n) {
                drawn.emplace_back(m, n);
                inner(m, va, n);
            };
        });
    }
    void display() override {
        drawn.clear();
        credits::display();
    }
    CurveGenerator& branch() { return root->children.at(0)->geometry; }
    const glm::mat4& textcameranow() const { return textview; }
    float exposurenow() const { return exposure; }
    const Texture& colourtarget() const { return *colour; }
    const std::vector<Texture>& linetextures() const { return lines; }

    std::vector<std::pair<glm::mat4, int>> drawn;

private:
    template <typename F>
    static void forbranches(cltreebase& node, const F& f) {
        for (auto& child : node.children) {
            f(static_cast<ftree&>(*child));
            forbranches(*child, f);
        }
    }
};

// The scene's kernels on plain OpenCL, and its frame with plain GL: the ribbons from a copy of
// the branch's published vertices with the matrices and counts the tree drew with, the ten
// cards with the scene's line textures, then the HDR pass into the window.
class rawcredits {
public:
    rawcredits(benchscene& scene, int width, int height)
        : scene(scene),
          width(width),
          height(height),
          kernels({{"xn=1;yt=1", 1, "", true},
                   {loadResource("credits.slcl"), credits::branchvertices, loadResource("tools.slcl"), true}}),
          ribbon(rawprogram("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag")),
          card(rawprogram("null.vert", "fsquad.geom", "credits_font.frag")),
          branch(scene.branch().display()),
          target(scene.colourtarget().samples, width, height) {
        GLCHECKED(glGenVertexArrays(1, &empty));
    }
    ~rawcredits() {
        GLCHECKED(glDeleteVertexArrays(1, &empty));
        for (GLuint p : {ribbon, card}) GLCHECKED(glDeleteProgram(p));
    }

    void step() { kernels.step(); }

    void frame() {
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glUseProgram(ribbon));
        GLCHECKED(glUniform2f(glGetUniformLocation(ribbon, "screenSize"), float(width), float(height)));
        const GLint mat = glGetUniformLocation(ribbon, "mat");
        for (const auto& [m, count] : scene.drawn) {
            GLCHECKED(glUniformMatrix4fv(mat, 1, GL_FALSE, glm::value_ptr(m)));
            branch.draw(GL_TRIANGLE_STRIP, count);
        }

        const float t = float(publishedtime()) - scenestart;
        GLCHECKED(glUseProgram(card));
        GLCHECKED(glBindVertexArray(empty));
        GLCHECKED(glActiveTexture(GL_TEXTURE0));
        GLCHECKED(glUniform1i(glGetUniformLocation(card, "text"), 0));
        for (int i = 0; i < int(scene.linetextures().size()); ++i) {
            const glm::mat4 m = glm::translate(scene.textcameranow(), glm::vec3(3.0f * float(i), 0.0f, 0.0f));
            GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(card, "m"), 1, GL_FALSE, glm::value_ptr(m)));
            GLCHECKED(glUniform1f(glGetUniformLocation(card, "visibility"), credits::visibilityat(i, t)));
            GLCHECKED(glBindTexture(GL_TEXTURE_2D, scene.linetextures()[size_t(i)].buf));
            GLCHECKED(glDrawArrays(GL_POINTS, 0, 1));
        }

        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glBindVertexArray(0));
        pass.draw(target, 1.0f, scene.exposurenow());
        GLCHECKED(glFinish());
    }

private:
    benchscene& scene;
    int width, height;
    rawkernels kernels;
    GLuint ribbon, card;
    rawvertices branch;
    rawtarget target;
    rawpass pass;
    GLuint empty = 0;  // the passes draw one point without attributes
};

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 40}, [](const benchargs& args) {
        const std::vector<std::string> texts = startuptexts();
        const std::vector<double> text =
            alternate(textrounds, {[&] { enginetext(texts); }, [&] { rawtext(texts); }});
        // From 175 s: most of the tree has grown, three cards are in view and one dissolves.
        printscene("credits", args, timescene<benchscene, rawcredits>(args, 175000), "publishing the tree");
        std::printf("  text at start-up (%zu strings, the font included): engine %.2f ms   raw FreeType and GL %.2f ms   "
                    "ratio %.3f\n",
                    texts.size(), text[0], text[1], text[0] / text[1]);
    });
}
