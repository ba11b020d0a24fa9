// The entryway scene against the same work done without the engine, in the same process and
// contexts, at a moment before the turn (the ribbons only) and one after it (the tunnel too):
//   update  the scene's step (growth, cameras, the tree's bracket: acquire, the hub and the one
//           ribbon kernel, the read-backs that place the 40 ribbons, the staged copies into GL,
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
//   entryway_bench [WxH [steps [seconds]]]   (from the build directory, which holds
//                                             resources/; needs a display, Xvfb will do;
//                                             without seconds: 70 and 82)
#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "platform/contexts.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <glm/gtc/type_ptr.hpp>

#include "cl/clcontext.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/globals.h"
#include "gl/resource.h"
#include "gl/sharedtargets.h"
#include "scenes/entryway.h"
#include "scenes/entrytunnel.h"

using namespace talvo;

namespace {

using stopwatch = std::chrono::steady_clock;

double since(stopwatch::time_point start) {
    return std::chrono::duration<double, std::milli>(stopwatch::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr float tunnelstart = 74000.0f;

// One ribbon draw as the scene made it.
struct ribbondraw {
    glm::mat4 matrix;
    int count;
};

// The scene with its draws recorded for the raw side.
class benchscene : public entryway {
public:
    benchscene() { record(*root); }
    const Texture& colourtarget() const { return *colour; }
    bool tunnelshown() {
        auto& act = dynamic_cast<controls::control<state>&>(*children.children.at(3));
        return dynamic_cast<entrytunnel*>(act.currentitem()) != nullptr;
    }
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

// The scene's kernels on plain OpenCL: one program and four buffers per source; the parents'
// results are read back as the tree reads them to place its children.
class rawkernels {
public:
    struct source {
        std::string expression, prefix;
        int count;
        bool parent;
    };
    explicit rawkernels(const std::vector<source>& sources) {
        const cl_context context = CLContext::instance()->context();
        cl_int err = CL_SUCCESS;
        for (const source& s : sources) {
            kernel k;
            k.count = s.count;
            k.parent = s.parent;
            const std::string text = curvesource(s.expression, s.prefix);
            const char* chars = text.c_str();
            const size_t length = text.size();
            CLCHECKED_ERR(k.program = clCreateProgramWithSource(context, 1, &chars, &length, &err), err);
            CLCHECKED(clBuildProgram(k.program, 0, nullptr, generatedoptions, nullptr, nullptr));
            CLCHECKED_ERR(k.update = clCreateKernel(k.program, "update", &err), err);
            for (cl_mem& mem : k.mems)
                CLCHECKED_ERR(mem = clCreateBuffer(context, CL_MEM_READ_WRITE, size_t(s.count) * 16, nullptr, &err), err);
            k.host.resize(size_t(s.count) * 4);
            kernels.push_back(std::move(k));
        }
    }
    ~rawkernels() {
        for (kernel& k : kernels) {
            for (cl_mem mem : k.mems) CLCHECKED(clReleaseMemObject(mem));
            CLCHECKED(clReleaseKernel(k.update));
            CLCHECKED(clReleaseProgram(k.program));
        }
    }

    // Runs the first `running` kernels.
    void step(size_t running) {
        const cl_command_queue queue = CLContext::instance()->queue();
        const float seconds = acctime();
        for (size_t i = 0; i < running; ++i) {
            kernel& k = kernels[i];
            const float n = float(k.count);
            const size_t size = size_t(k.count);
            CLCHECKED(clSetKernelArg(k.update, 0, sizeof(cl_mem), &k.mems[0]));
            CLCHECKED(clSetKernelArg(k.update, 1, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(k.update, 2, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(k.update, 3, sizeof(float), &seconds));
            for (cl_uint i = 1; i < 4; ++i) CLCHECKED(clSetKernelArg(k.update, 3 + i, sizeof(cl_mem), &k.mems[i]));
            CLCHECKED(clEnqueueNDRangeKernel(queue, k.update, 1, nullptr, &size, nullptr, 0, nullptr, nullptr));
            if (k.parent)
                for (cl_uint i = 1; i < 4; ++i)
                    CLCHECKED(clEnqueueReadBuffer(queue, k.mems[i], CL_TRUE, 0, size * 16, k.host.data(), 0, nullptr, nullptr));
        }
        CLCHECKED(clFinish(queue));
    }

    // The positions of kernel i into a new GL buffer.
    GLuint glcopy(size_t i) {
        kernel& k = kernels.at(i);
        CLCHECKED(clEnqueueReadBuffer(CLContext::instance()->queue(), k.mems[0], CL_TRUE, 0, size_t(k.count) * 16,
                                      k.host.data(), 0, nullptr, nullptr));
        GLuint buffer = 0;
        GLCHECKED(glGenBuffers(1, &buffer));
        GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buffer));
        GLCHECKED(glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(k.count) * 16, k.host.data(), GL_STATIC_DRAW));
        return buffer;
    }

private:
    struct kernel {
        int count = 0;
        bool parent = false;
        cl_program program = nullptr;
        cl_kernel update = nullptr;
        std::array<cl_mem, 4> mems{};
        std::vector<float> host;
    };
    std::vector<kernel> kernels;
};

GLuint rawshader(GLenum type, const std::string& file) {
    const std::string source = loadResource(file);
    const char* text = source.c_str();
    GLuint shader = 0;
    GLCHECKED(shader = glCreateShader(type));
    GLCHECKED(glShaderSource(shader, 1, &text, nullptr));
    GLCHECKED(glCompileShader(shader));
    return shader;
}

GLuint rawprogram(const char* vertex, const char* geometry, const char* fragment) {
    GLuint program = 0;
    GLCHECKED(program = glCreateProgram());
    const GLuint shaders[] = {rawshader(GL_VERTEX_SHADER, vertex), rawshader(GL_GEOMETRY_SHADER, geometry),
                              rawshader(GL_FRAGMENT_SHADER, fragment)};
    for (GLuint s : shaders) GLCHECKED(glAttachShader(program, s));
    GLCHECKED(glLinkProgram(program));
    for (GLuint s : shaders) GLCHECKED(glDeleteShader(s));
    return program;
}

GLuint multisampled(GLenum format, int samples, int width, int height) {
    GLuint texture = 0;
    GLCHECKED(glGenTextures(1, &texture));
    GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, texture));
    GLCHECKED(glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, format, width, height, GL_FALSE));
    return texture;
}

void setmatrix(GLuint program, const char* name, const glm::mat4& m) {
    GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, glm::value_ptr(m)));
}

// The scene's draws with plain GL: the ribbons from the raw kernel's vertices into a
// multisampled RGB16F target; the tunnel into a second one with a depth target, its pass added
// onto the first; then the HDR pass into the window.
class rawdraws {
public:
    rawdraws(rawkernels& kernels, int samples, int width, int height) : width(width), height(height), samples(samples) {
        ribbon = rawprogram("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag");
        triangles = rawprogram("passthrough.vert", "flight_tri.geom", "entrytunnel_tri.frag");
        points = rawprogram("passthrough.vert", "flight_pt.geom", "flight_pt.frag");
        pass = rawprogram("null.vert", "fsquad.geom", "hdr.frag");
        GLCHECKED(glGenVertexArrays(3, vaos));
        // Kernels 1 (the ribbon) and 3 (the tunnel) of the scene's four.
        vbos[0] = kernels.glcopy(1);
        vbos[1] = kernels.glcopy(3);
        for (int i = 0; i < 2; ++i) {
            GLCHECKED(glBindVertexArray(vaos[i]));
            GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, vbos[i]));
            GLCHECKED(glEnableVertexAttribArray(0));
            GLCHECKED(glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr));
        }
        GLCHECKED(glBindVertexArray(0));
        targets[0] = multisampled(GL_RGB16F, samples, width, height);
        targets[1] = multisampled(GL_RGB16F, samples, width, height);
        depth = multisampled(GL_DEPTH_COMPONENT24, samples, width, height);
        GLCHECKED(glGenFramebuffers(2, fbos));
        for (int i = 0; i < 2; ++i) {
            GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbos[i]));
            GLCHECKED(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, targets[i], 0));
        }
        GLCHECKED(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D_MULTISAMPLE, depth, 0));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
    }
    ~rawdraws() {
        GLCHECKED(glDeleteFramebuffers(2, fbos));
        GLCHECKED(glDeleteTextures(2, targets));
        GLCHECKED(glDeleteTextures(1, &depth));
        GLCHECKED(glDeleteBuffers(2, vbos));
        GLCHECKED(glDeleteVertexArrays(3, vaos));
        for (GLuint p : {ribbon, triangles, points, pass}) GLCHECKED(glDeleteProgram(p));
    }

    // T is the production time of the frame; the tunnel is drawn from 74 s.
    void frame(const std::vector<ribbondraw>& draws, float T) {
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbos[0]));
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glUseProgram(ribbon));
        GLCHECKED(glUniform2f(glGetUniformLocation(ribbon, "screenSize"), float(width), float(height)));
        GLCHECKED(glBindVertexArray(vaos[0]));
        for (const ribbondraw& d : draws) {
            setmatrix(ribbon, "mat", d.matrix);
            GLCHECKED(glDrawArrays(GL_TRIANGLE_STRIP, 0, d.count));
        }
        if (T > tunnelstart) tunnel(T - tunnelstart);
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        hdrpass(targets[0], 1.0f, 5.0f);
        GLCHECKED(glBindVertexArray(0));
        GLCHECKED(glFinish());
    }

private:
    void tunnel(float t) {
        const float whiteout = entrytunnel::whiteoutat(t);
        // What the step before this frame grew: the growth follows the tunnel's update.
        const int count = std::clamp(int(float(entrytunnel::tunnelvertices) * ((t - float(steplength)) * 0.000003f)), 0,
                                     entrytunnel::tunnelvertices);
        const glm::mat4 camera = entrytunnel::camera(t);
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbos[1]));
        GLCHECKED(glDepthMask(GL_TRUE));
        if (t > 10000.0f) GLCHECKED(glClearColor(10.0f * whiteout, 10.0f * whiteout, 10.0f * whiteout, 1.0f));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
        GLCHECKED(glDepthMask(GL_FALSE));
        GLCHECKED(glBindVertexArray(vaos[1]));
        GLCHECKED(glUseProgram(triangles));
        setmatrix(triangles, "mat", camera);
        GLCHECKED(glDrawArrays(GL_TRIANGLE_STRIP, 0, count));
        GLCHECKED(glUseProgram(points));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "red"), 1.5f));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "green"), 0.8f));
        GLCHECKED(glUniform1f(glGetUniformLocation(points, "blue"), 1.8f));
        setmatrix(points, "mat", camera);
        GLCHECKED(glDrawArrays(GL_POINTS, 0, count));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbos[0]));
        hdrpass(targets[1], entrytunnel::whitepointat(whiteout), 1.0f);
    }

    void hdrpass(GLuint texture, float maxbright, float exposure) {
        GLCHECKED(glUseProgram(pass));
        GLCHECKED(glActiveTexture(GL_TEXTURE0));
        GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, texture));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "tex"), 0));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "samples"), samples));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "maxbright"), maxbright));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "exposure"), exposure));
        setmatrix(pass, "m", glm::mat4(1.0f));
        GLCHECKED(glBindVertexArray(vaos[2]));
        GLCHECKED(glDrawArrays(GL_POINTS, 0, 1));
    }

    int width, height, samples;
    GLuint ribbon = 0, triangles = 0, points = 0, pass = 0;
    GLuint vaos[3] = {};
    GLuint vbos[2] = {};
    GLuint targets[2] = {};
    GLuint depth = 0;
    GLuint fbos[2] = {};
};

std::vector<unsigned char> windowpixels(int width, int height) {
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
    GLCHECKED(glReadBuffer(GL_BACK));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()));
    return pixels;
}

void run(int width, int height, int steps, float seconds) {
    windowwidth = width;
    windowheight = height;
    GLCHECKED(glViewport(0, 0, width, height));
    sharedcolor = Texture(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    sharedcolor2 = Texture(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    shareddepth = Texture(8, GL_DEPTH_COMPONENT24, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    starttime = 0;
    updatetime = prevupdatetime = uint32_t(seconds * 1000.0f) - steplength;
    {
        benchscene scene;
        scene.resize(width, height);
        scene.enter(nullptr);
        // Two steps, so that the tunnel has grown what its time says.
        scene.sync();
        scene.update();
        updatetime += steplength;
        scene.sync();
        scene.update();
        scene.sync();
        scene.draws.clear();
        scene.display();
        GLCHECKED(glFinish());
        const bool tunnel = scene.tunnelshown();
        rawkernels kernels({{"xn=1;yt=1", "", 1, true},
                            {entryway::ribbonexpression, entryway::ribbonprefix, entryway::ribbonvertices, true},
                            {"xn=1;yt=1;", "", 10, true},
                            {loadResource("entrytunnel.slcl"), "", entrytunnel::tunnelvertices, false}});
        // Before the turn the tunnel's two kernels do not run.
        const size_t running = tunnel ? 4 : 2;
        kernels.step(4);
        rawdraws draws(kernels, scene.colourtarget().samples, width, height);
        // Both sides must draw the same picture for the comparison to mean anything.
        const std::vector<unsigned char> engineview = windowpixels(width, height);
        draws.frame(scene.draws, float(updatetime - starttime));
        const std::vector<unsigned char> rawview = windowpixels(width, height);
        long differing = 0;
        for (size_t i = 0; i < rawview.size(); ++i) differing += rawview[i] != engineview[i];
        if (differing) std::printf("warning: the raw frame differs from the scene's in %ld of %zu values\n", differing, rawview.size());

        std::vector<double> update, rawupdate, sync, display, rawframe;
        for (int i = 0; i < steps; ++i) {
            updatetime += steplength;
            stopwatch::time_point start = stopwatch::now();
            scene.update();
            update.push_back(since(start));
            start = stopwatch::now();
            kernels.step(running);
            rawupdate.push_back(since(start));

            start = stopwatch::now();
            scene.sync();
            GLCHECKED(glFinish());
            sync.push_back(since(start));
            scene.draws.clear();
            start = stopwatch::now();
            scene.display();
            GLCHECKED(glFinish());
            display.push_back(since(start));
            start = stopwatch::now();
            draws.frame(scene.draws, float(updatetime - starttime));
            rawframe.push_back(since(start));
        }
        scene.leave(nullptr);

        const double u = median(update), ru = median(rawupdate), s = median(sync), d = median(display),
                     rf = median(rawframe);
        std::printf("entryway at %.1f s%s, %dx%d, %d steps (medians):\n", seconds, tunnel ? " (with the tunnel)" : "",
                    width, height, steps);
        std::printf("  update   engine %8.2f ms   raw OpenCL %8.2f ms   ratio %.3f\n", u, ru, u / ru);
        std::printf("  display  engine %8.2f ms   raw GL     %8.2f ms   ratio %.3f\n", d, rf, d / rf);
        std::printf("  sync (publishing the vertices) %.2f ms; sync + display against raw GL: ratio %.3f\n", s,
                    (s + d) / rf);
    }
    sharedcolor = Texture();
    sharedcolor2 = Texture();
    shareddepth = Texture();
}

}  // namespace

int main(int argc, char** argv) {
    int width = 640, height = 360;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: entryway_bench [WxH [steps [seconds]]]\n");
        return 2;
    }
    const int steps = argc > 2 ? std::atoi(argv[2]) : 15;
    std::vector<float> moments{70.0f, 82.0f};
    if (argc > 3) moments = {float(std::atof(argv[3]))};
    if (!glfwInit()) {
        std::fprintf(stderr, "glfwInit failed (no display?)\n");
        return 1;
    }
    GLFWwindow* window = talvo::platform::createhiddencontext(width, height, "entryway_bench", nullptr);
    if (!window) {
        std::fprintf(stderr, "no GL 3.3 core window could be opened\n");
        return 1;
    }
    glfwMakeContextCurrent(window);
    int status = 0;
    try {
        for (float seconds : moments) run(width, height, steps, seconds);
    } catch (const Log::CLException&) {
        status = 1;
    } catch (const Log::GLException&) {
        status = 1;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return status;
}
