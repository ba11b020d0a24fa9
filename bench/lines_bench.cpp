// The lines scene (280 copies of one curve a frame) against the same work done without the
// engine, in the same process and contexts:
//   update  the scene's step (the camera and 280 placement channels, the tree's bracket:
//           acquire, the hub's and the shared curve's kernels, the hand-over to GL,
//           release) against the same two kernel sources enqueued on plain OpenCL buffers and
//           finished;
//   frame   the scene's sync (publishing the tree: the curve's GPU copy and 281 nodes' values)
//           and display (280 callbacks, each a ribbon and a set of sprites with its own matrix
//           and its GL state, then the HDR pass) against the same 560 draws with plain GL calls:
//           the state set once, then per copy its matrix and the two draws, and the same pass.
// Steps alternate between the two so that both see the same load. Prints the medians and the
// engine/raw ratios.
//
//   lines_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                display, Xvfb will do)
#include <epoxy/gl.h>

#include <glm/gtc/type_ptr.hpp>

#include "bench/support/benchmain.h"
#include "bench/support/rawgl.h"
#include "bench/support/rawkernels.h"
#include "bench/support/scenebench.h"
#include "diag/check.h"
#include "gl/resource.h"
#include "scenes/lines.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

// The scene with its tree and state opened up to the benchmark, its copies grown whole (the
// growth a step sets reaches the draws at the next one).
class benchlines : public lines {
public:
    benchlines() { root->setGrowth(1.0f); }
    CurveGenerator& curve() { return root->children.at(0)->geometry; }
    // The matrix copy i is drawn with: the camera's times its placement.
    glm::mat4 matrix(int i) const { return root->shown().transform * root->children.at(size_t(i))->shown().transform; }
    float whitepoint() const { return 20.0f + 10.0f * rise; }
    const Texture& colourtarget() const { return *colour; }
};

class rawlines {
public:
    rawlines(benchlines& scene, int width, int height)
        : scene(scene),
          width(width),
          height(height),
          kernels({{"xn=1;yt=1;", 10, "", true}, {loadResource("opening.slcl"), lines::vertices}}),
          ribbon(rawprogram("passthrough.vert", "flight_tri.geom", "flight_tri.frag")),
          sprites(rawprogram("passthrough.vert", "flight_pt.geom", "flight_pt.frag")),
          curve(scene.curve().display()),
          target(scene.colourtarget().samples, width, height) {
        ribbonmat = glGetUniformLocation(ribbon, "mat");
        spritemat = glGetUniformLocation(sprites, "mat");
    }
    ~rawlines() {
        for (GLuint p : {ribbon, sprites}) GLCHECKED(glDeleteProgram(p));
    }

    void step() { kernels.step(); }

    void frame() {
        GLCHECKED(glUseProgram(sprites));
        GLCHECKED(glUniform1f(glGetUniformLocation(sprites, "red"), 1.5f));
        GLCHECKED(glUniform1f(glGetUniformLocation(sprites, "green"), 1.8f));
        GLCHECKED(glUniform1f(glGetUniformLocation(sprites, "blue"), 1.3f));
        GLCHECKED(glUniform2f(glGetUniformLocation(sprites, "screenSize"), float(width), float(height)));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glDepthMask(GL_FALSE));
        for (int i = 0; i < lines::copies; ++i) {
            const glm::mat4 m = scene.matrix(i);
            GLCHECKED(glUseProgram(ribbon));
            GLCHECKED(glUniformMatrix4fv(ribbonmat, 1, GL_FALSE, glm::value_ptr(m)));
            curve.draw(GL_TRIANGLE_STRIP);
            GLCHECKED(glUseProgram(sprites));
            GLCHECKED(glUniformMatrix4fv(spritemat, 1, GL_FALSE, glm::value_ptr(m)));
            curve.draw(GL_LINE_STRIP);
        }
        GLCHECKED(glDisable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glDisable(GL_BLEND));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        pass.draw(target, scene.whitepoint(), 1.0f);
        GLCHECKED(glFinish());
    }

private:
    benchlines& scene;
    int width, height;
    rawkernels kernels;
    GLuint ribbon, sprites;
    GLint ribbonmat = -1, spritemat = -1;
    rawvertices curve;
    rawtarget target;
    rawpass pass;
};

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 15}, [](const benchargs& args) {
        // At 33 s: camera A over the rings, every copy whole.
        printscene("lines", args, timescene<benchlines, rawlines>(args, 33000), "publishing the tree of 281 nodes");
    });
}
