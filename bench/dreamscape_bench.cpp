// The dreamscape scene against the same work done without the engine, in the same process and
// contexts:
//   update  the scene's step (growth, channels, the tree's bracket: acquire, the hub, ground
//           and sky kernels, the hand-over to GL, release) against the same three kernel
//           sources enqueued on plain OpenCL buffers and finished;
//   frame   the scene's sync (publishing the clouds: a GPU copy of each) and display (flash
//           clear, both point draws through the tree, the HDR pass) against the same programs
//           drawing the same vertices with plain GL calls into a target of the same kind, and
//           the same pass.
// Steps alternate between the two so that both see the same load. Prints the medians and the
// engine/raw ratios.
//
//   dreamscape_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                     display, Xvfb will do)
#include <epoxy/gl.h>

#include <glm/gtc/type_ptr.hpp>

#include "bench/support/benchmain.h"
#include "bench/support/rawgl.h"
#include "bench/support/rawkernels.h"
#include "bench/support/scenebench.h"
#include "diag/check.h"
#include "gl/resource.h"
#include "scenes/dreamscape.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

// The scene with its tree and state opened up to the benchmark.
class benchscene : public dreamscape {
public:
    CurveGenerator& generator(int child) { return root->children.at(size_t(child))->geometry; }
    const glm::mat4& camera() const { return root->shown().transform; }
    float distortion() const { return distort; }
    const Texture& colourtarget() const { return *colour; }
};

// The scene's kernels on plain OpenCL, and its draws with plain GL: the two point clouds from
// copies of the scene's published vertices into a multisampled RGB16F target, then the HDR
// pass into the window.
class rawdreamscape {
public:
    rawdreamscape(benchscene& scene, int width, int height)
        : scene(scene),
          width(width),
          height(height),
          kernels({{"xn=1;yt=1;", 10, "", true}, {loadResource("dreamscape.slcl"), 3000000},
                   {loadResource("dreamscapesky.slcl"), 500000}}),
          ground(rawprogram("passthrough.vert", "dreamscape_pt.geom", "dreamscape_pt.frag")),
          sky(rawprogram("passthrough.vert", "dreamscapesky_pt.geom", "dreamscapesky_pt.frag")),
          clouds{rawvertices(scene.generator(0).display()), rawvertices(scene.generator(1).display())},
          target(scene.colourtarget().samples, width, height) {}
    ~rawdreamscape() {
        for (GLuint p : {ground, sky}) GLCHECKED(glDeleteProgram(p));
    }

    void step() { kernels.step(); }

    void frame() {
        const glm::mat4& camera = scene.camera();
        const float distort = scene.distortion();
        const glm::vec2 size{float(width), float(height)};
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glDepthMask(GL_FALSE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        const GLuint programs[2] = {ground, sky};
        for (int i = 0; i < 2; ++i) {
            GLCHECKED(glUseProgram(programs[i]));
            GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(programs[i], "mat"), 1, GL_FALSE, glm::value_ptr(camera)));
            GLCHECKED(glUniform1f(glGetUniformLocation(programs[i], "distort"), distort));
            GLCHECKED(glUniform2f(glGetUniformLocation(programs[i], "screenSize"), size.x, size.y));
            clouds[i].draw(GL_POINTS);
        }
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_BLEND));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        const GLuint program = pass.use();
        GLCHECKED(glUniform1f(glGetUniformLocation(program, "distort"), distort));
        GLCHECKED(glUniform2f(glGetUniformLocation(program, "res"), size.x, size.y));
        pass.draw(target, 20.0f, 0.5f);
        GLCHECKED(glFinish());
    }

private:
    benchscene& scene;
    int width, height;
    rawkernels kernels;
    GLuint ground, sky;
    rawvertices clouds[2];
    rawtarget target;
    rawpass pass{"dreamscapehdr.frag"};
};

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 15}, [](const benchargs& args) {
        // From 120 s: camera A, and a distortion of 10 and more, so the pass bends the picture.
        printscene("dreamscape", args, timescene<benchscene, rawdreamscape>(args, 120000), "publishing the clouds");
    });
}
