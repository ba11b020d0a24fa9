// The entryway scene against the same work done without the engine, in the same process and
// contexts, at a moment before the turn (the ribbons only) and one after it (the tunnel too):
//   update  the scene's step (growth, cameras, the tree's bracket: acquire, the hub and the one
//           ribbon kernel, the read-backs that place the 40 ribbons, the hand-over to GL,
//           release; from 74 s the tunnel's bracket with its kernel of 100 000 vertices)
//           against the same kernel sources enqueued on plain OpenCL buffers, the same parents
//           read back, and finished;
//   frame   the scene's sync (publishing the vertices) and display (the 40 ribbon draws, the
//           tunnel's strip and sprites into its own target and its pass added onto the
//           scene's image, the HDR pass) against the same programs drawing the same vertices
//           with plain GL calls into targets of the same kind, and the same passes.
// Steps alternate between the two so that both see the same load. Prints the medians and the
// engine/raw ratios.
//
//   entryway_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                   display, Xvfb will do)
#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

#include <glm/gtc/type_ptr.hpp>

#include "bench/support/benchmain.h"
#include "bench/support/rawgl.h"
#include "bench/support/rawkernels.h"
#include "bench/support/scenebench.h"
#include "diag/check.h"
#include "engine/control.h"
#include "gl/resource.h"
#include "scenes/entryway.h"
#include "scenes/entrytunnel.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

constexpr float tunnelstart = 74000.0f;

// One ribbon draw as the scene made it.
struct ribbondraw {
    glm::mat4 matrix;
    int count;
};

// The scene with its ribbon draws recorded and its tunnel opened up to the raw reference.
class benchscene : public entryway {
public:
    benchscene() { record(*root); }

    // As the production's first frame syncs before any step, and one step more, so that the
    // tunnel has grown what its time says when the two pictures are compared.
    void enter(state* previous) override {
        entryway::enter(previous);
        sync();
        update();
    }
    void display() override {
        draws.clear();
        entryway::display();
    }

    CurveGenerator& ribbongenerator() { return root->children.at(0)->geometry; }
    const Texture& colourtarget() const { return *colour; }
    // None before the turn.
    entrytunnel* tunnel() {
        auto& act = dynamic_cast<controls::control<state>&>(*children.children.at(3));
        return dynamic_cast<entrytunnel*>(act.currentitem());
    }

    // Those of the latest display.
    std::vector<ribbondraw> draws;

private:
    void record(cltreebase& node) {
        for (auto& child : node.children) {
            auto& ribbon = static_cast<ftree&>(*child);
            ribbon.drawfn = [this, inner = ribbon.drawfn](glm::mat4 m, VArray& va, int n) {
                draws.push_back({m, n});
                inner(m, va, n);
            };
            record(ribbon);
        }
    }
};

// The kernels the scene runs: the hub and the ribbon, and with the tunnel its hub and the
// tunnel. Every parent is read back.
std::vector<rawcurve> curves(bool tunnel) {
    std::vector<rawcurve> all{{"xn=1;yt=1", 1, "", true},
                              {entryway::ribbonexpression, entryway::ribbonvertices, entryway::ribbonprefix, true}};
    if (tunnel) {
        all.emplace_back("xn=1;yt=1;", 10, "", true);
        all.emplace_back(loadResource("entrytunnel.slcl"), entrytunnel::tunnelvertices);
    }
    return all;
}

void setmatrix(GLuint program, const char* name, const glm::mat4& m) {
    GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, glm::value_ptr(m)));
}

// The scene's kernels on plain OpenCL, and its draws with plain GL: the ribbons from a copy of
// the scene's published vertices into a multisampled RGB16F target; the tunnel into a second
// one with a depth target, its pass added onto the first; then the HDR pass into the window.
// The matrices and counts are the scene's own.
class rawentryway {
public:
    rawentryway(benchscene& scene, int width, int height)
        : scene(scene),
          width(width),
          height(height),
          kernels(curves(scene.tunnel() != nullptr)),
          ribbon(rawprogram("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag")),
          triangles(rawprogram("passthrough.vert", "flight_tri.geom", "entrytunnel_tri.frag")),
          points(rawprogram("passthrough.vert", "flight_pt.geom", "flight_pt.frag")),
          ribbons(scene.ribbongenerator().display()),
          image(scene.colourtarget().samples, width, height),
          tunnelimage(scene.colourtarget().samples, width, height) {
        if (entrytunnel* t = scene.tunnel()) tunnel = std::make_unique<rawvertices>(t->tree().children.at(0)->geometry.display());
        GLCHECKED(glGenTextures(1, &depth));
        GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, depth));
        GLCHECKED(glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, tunnelimage.samples, GL_DEPTH_COMPONENT24, width,
                                          height, GL_FALSE));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, tunnelimage.framebuffer));
        GLCHECKED(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D_MULTISAMPLE, depth, 0));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
    }
    ~rawentryway() {
        GLCHECKED(glDeleteTextures(1, &depth));
        for (GLuint p : {ribbon, triangles, points}) GLCHECKED(glDeleteProgram(p));
    }

    void step() { kernels.step(); }

    void frame() {
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, image.framebuffer));
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glUseProgram(ribbon));
        GLCHECKED(glUniform2f(glGetUniformLocation(ribbon, "screenSize"), float(width), float(height)));
        for (const ribbondraw& d : scene.draws) {
            setmatrix(ribbon, "mat", d.matrix);
            ribbons.draw(GL_TRIANGLE_STRIP, d.count);
        }
        if (tunnel) drawtunnel();
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        pass.draw(image, 1.0f, 5.0f);
        GLCHECKED(glBindVertexArray(0));
        GLCHECKED(glFinish());
    }

private:
    void drawtunnel() {
        const float t = scene.productiontime() - tunnelstart;
        const float whiteout = entrytunnel::whiteoutat(t);
        const cltreebase& hub = scene.tunnel()->tree();
        const glm::mat4& camera = hub.shown().transform;
        const int count = hub.children.at(0)->shown().drawcount;
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, tunnelimage.framebuffer));
        GLCHECKED(glDepthMask(GL_TRUE));
        if (t > 10000.0f) GLCHECKED(glClearColor(10.0f * whiteout, 10.0f * whiteout, 10.0f * whiteout, 1.0f));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
        GLCHECKED(glDepthMask(GL_FALSE));
        GLCHECKED(glUseProgram(triangles));
        setmatrix(triangles, "mat", camera);
        tunnel->draw(GL_TRIANGLE_STRIP, count);
        GLCHECKED(glUseProgram(points));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "red"), 1.5f));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "green"), 0.8f));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "blue"), 1.8f));
        GLCHECKED(glUniform2f(glGetUniformLocation(points, "screenSize"), float(width), float(height)));
        setmatrix(points, "mat", camera);
        tunnel->draw(GL_LINE_STRIP, count);
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, image.framebuffer));
        pass.draw(tunnelimage, entrytunnel::whitepointat(whiteout), 1.0f);
    }


    benchscene& scene;
    int width, height;
    rawkernels kernels;
    GLuint ribbon, triangles, points;
    rawvertices ribbons;
    std::unique_ptr<rawvertices> tunnel;  // none before the turn
    rawtarget image, tunnelimage;
    GLuint depth = 0;
    rawpass pass;
};

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 15}, [](const benchargs& args) {
        // At 70 s the whole tree is in view; at 82 s the camera has left it behind and flies
        // through the tunnel.
        printscene("entryway at 70 s,", args, timescene<benchscene, rawentryway>(args, 70000), "publishing the vertices");
        printscene("entryway at 82 s (with the tunnel),", args, timescene<benchscene, rawentryway>(args, 82000),
                   "publishing the vertices");
    });
}
