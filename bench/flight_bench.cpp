// The flight scene against the same work done without the engine, in the same process and
// context:
//   update   the scene's step (channels, the tree's bracket: acquire, the hub, path and line
//            kernels, the path read back for the 3000 lines hanging on it, release) against the
//            same three kernel sources enqueued on plain OpenCL buffers and finished;
//   frame    the scene's sync (publishing) and display (the path as ribbon and glows, 3000
//            lines of sparks through the tree, the HDR pass) against the same programs drawing
//            the same vertices with the same matrices with plain GL calls into a target of the
//            same kind.
// Rounds alternate between the two sides so that both see the same load. Prints the medians
// and the engine/raw ratios.
//
//   flight_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                 display, Xvfb will do)
#include <epoxy/gl.h>

#include <utility>
#include <vector>

#include <glm/gtc/type_ptr.hpp>

#include "bench/support/benchmain.h"
#include "bench/support/rawgl.h"
#include "bench/support/rawkernels.h"
#include "bench/support/scenebench.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/resource.h"
#include "scenes/flight.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

// The scene opened up to the benchmark; each display records the matrix and vertex count of
// every node the tree draws, the path first.
class benchscene : public flight {
public:
    benchscene() {
        ftree& path = pathnode();
        record(path);
        for (auto& line : path.children) record(static_cast<ftree&>(*line));
    }
    void display() override {
        drawn.clear();
        flight::display();
    }
    ftree& pathnode() { return static_cast<ftree&>(*root->children.at(0)); }
    float glownow() const { return glow; }
    float whitepointnow() const { return whitepoint; }
    const Texture& colourtarget() const { return *colour; }

    std::vector<std::pair<glm::mat4, int>> drawn;

private:
    void record(ftree& node) {
        node.drawfn = [this, inner = node.drawfn](glm::mat4 m, VArray& va, int n) {
            drawn.emplace_back(m, n);
            inner(m, va, n);
        };
    }
};

void setmat(GLuint program, const glm::mat4& m) {
    GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(program, "mat"), 1, GL_FALSE, glm::value_ptr(m)));
}

void setgains(GLuint program, float glow) {
    GLCHECKED(glUseProgram(program));
    GLCHECKED(glUniform1f(glGetUniformLocation(program, "red"), 1.5f * glow));
    GLCHECKED(glUniform1f(glGetUniformLocation(program, "green"), 0.8f * glow));
    GLCHECKED(glUniform1f(glGetUniformLocation(program, "blue"), 0.3f * glow));
}

// The scene's kernels on plain OpenCL, and its frame with plain GL: the path and the lines
// from copies of their published vertices with the matrices and counts the tree drew with,
// then the HDR pass into the window.
class rawflight {
public:
    rawflight(benchscene& scene, int width, int height)
        : scene(scene),
          width(width),
          height(height),
          kernels({{"xn=1;yt=1;", 10, "", true},
                   {loadResource("flight.slcl"), flight::pathvertices, "", true},
                   {"x=f*1000-500;z=0;y=0;", flight::sparksperline}}),
          triangles(rawprogram("passthrough.vert", "flight_tri.geom", "flight_tri.frag")),
          points(rawprogram("passthrough.vert", "flight_pt.geom", "flight_pt.frag")),
          sparks(rawprogram("passthrough.vert", "flight_pt.geom", "flight_ext.frag")),
          path(scene.pathnode().geometry.display()),
          line(static_cast<ftree&>(*scene.pathnode().children.at(0)).geometry.display()),
          target(scene.colourtarget().samples, width, height) {}
    ~rawflight() {
        for (GLuint p : {triangles, points, sparks}) GLCHECKED(glDeleteProgram(p));
    }

    void step() { kernels.step(); }

    void frame() {
        setgains(points, scene.glownow());
        setgains(sparks, scene.glownow());
        for (GLuint p : {points, sparks}) {
            GLCHECKED(glUseProgram(p));
            GLCHECKED(glUniform2f(glGetUniformLocation(p, "screenSize"), float(width), float(height)));
        }
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glDepthMask(GL_FALSE));
        const auto& [pathmat, pathcount] = scene.drawn.at(0);
        GLCHECKED(glUseProgram(triangles));
        setmat(triangles, pathmat);
        path.draw(GL_TRIANGLE_STRIP, pathcount);
        GLCHECKED(glUseProgram(points));
        setmat(points, pathmat);
        path.draw(GL_LINE_STRIP, pathcount);
        GLCHECKED(glUseProgram(sparks));
        const GLint mat = glGetUniformLocation(sparks, "mat");
        for (size_t i = 1; i < scene.drawn.size(); ++i) {
            GLCHECKED(glUniformMatrix4fv(mat, 1, GL_FALSE, glm::value_ptr(scene.drawn[i].first)));
            line.draw(GL_LINE_STRIP, scene.drawn[i].second);
        }

        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        pass.draw(target, scene.whitepointnow(), 1.0f);
        GLCHECKED(glFinish());
    }

private:
    benchscene& scene;
    int width, height;
    rawkernels kernels;
    GLuint triangles, points, sparks;
    rawvertices path, line;
    rawtarget target;
    rawpass pass;
};

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 15}, [](const benchargs& args) {
        // From 140 s: every line has grown, camera 1 looks down the tunnel from the side.
        printscene("flight", args, timescene<benchscene, rawflight>(args, 140000), "publishing the path and lines");
    });
}
