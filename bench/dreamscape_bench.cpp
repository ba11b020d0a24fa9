// The dreamscape scene against the same work done without the engine, in the same process and
// contexts:
//   update  the scene's step (growth, channels, the tree's bracket: acquire, the hub, ground
//           and sky kernels, the staged copies into GL, release) against the same three kernel
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
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "platform/contexts.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <glm/gtc/type_ptr.hpp>

#include "cl/clcontext.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/sharedtargets.h"
#include "gl/resource.h"
#include "scenes/dreamscape.h"

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

// The scene with its tree and state opened up to the benchmark.
class benchscene : public dreamscape {
public:
    CurveGenerator& generator(int child) { return root->children.at(size_t(child))->geometry; }
    const glm::mat4& camera() const { return root->shown().transform; }
    float distortion() const { return distort; }
    const Texture& colourtarget() const { return *colour; }
};

// The scene's kernels on plain OpenCL: one program and four buffers per source.
class rawkernels {
public:
    explicit rawkernels(const std::vector<std::pair<std::string, int>>& sources) {
        const cl_context context = CLContext::instance()->context();
        cl_int err = CL_SUCCESS;
        for (const auto& [expression, count] : sources) {
            kernel k;
            k.count = count;
            const std::string source = curvesource(expression, "");
            const char* text = source.c_str();
            const size_t length = source.size();
            CLCHECKED_ERR(k.program = clCreateProgramWithSource(context, 1, &text, &length, &err), err);
            CLCHECKED(clBuildProgram(k.program, 0, nullptr, generatedoptions, nullptr, nullptr));
            CLCHECKED_ERR(k.update = clCreateKernel(k.program, "update", &err), err);
            for (cl_mem& mem : k.mems)
                CLCHECKED_ERR(mem = clCreateBuffer(context, CL_MEM_READ_WRITE, size_t(count) * 16, nullptr, &err), err);
            kernels.push_back(k);
        }
    }
    ~rawkernels() {
        for (kernel& k : kernels) {
            for (cl_mem mem : k.mems) CLCHECKED(clReleaseMemObject(mem));
            CLCHECKED(clReleaseKernel(k.update));
            CLCHECKED(clReleaseProgram(k.program));
        }
    }

    void step() {
        const cl_command_queue queue = CLContext::instance()->queue();
        const float seconds = acctime();
        for (kernel& k : kernels) {
            const float n = float(k.count);
            const size_t size = size_t(k.count);
            CLCHECKED(clSetKernelArg(k.update, 0, sizeof(cl_mem), &k.mems[0]));
            CLCHECKED(clSetKernelArg(k.update, 1, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(k.update, 2, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(k.update, 3, sizeof(float), &seconds));
            for (cl_uint i = 1; i < 4; ++i) CLCHECKED(clSetKernelArg(k.update, 3 + i, sizeof(cl_mem), &k.mems[i]));
            CLCHECKED(clEnqueueNDRangeKernel(queue, k.update, 1, nullptr, &size, nullptr, 0, nullptr, nullptr));
        }
        CLCHECKED(clFinish(queue));
    }

private:
    struct kernel {
        int count = 0;
        cl_program program = nullptr;
        cl_kernel update = nullptr;
        std::array<cl_mem, 4> mems{};
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

// The scene's draws with plain GL: the two point clouds from copies of the scene's published
// vertices into a multisampled RGB16F target, then the HDR pass into the window.
class rawdraws {
public:
    rawdraws(benchscene& scene, int width, int height) : width(width), height(height) {
        ground = rawprogram("passthrough.vert", "dreamscape_pt.geom", "dreamscape_pt.frag");
        sky = rawprogram("passthrough.vert", "dreamscapesky_pt.geom", "dreamscapesky_pt.frag");
        pass = rawprogram("null.vert", "fsquad.geom", "dreamscapehdr.frag");
        GLCHECKED(glGenVertexArrays(3, vaos));
        GLCHECKED(glGenBuffers(2, vbos));
        for (int i = 0; i < 2; ++i) {
            Buffer<float>& published = scene.generator(i).display();
            counts[i] = published.size() / 4;
            const GLsizeiptr bytes = GLsizeiptr(published.size()) * GLsizeiptr(sizeof(float));
            GLCHECKED(glBindBuffer(GL_COPY_WRITE_BUFFER, vbos[i]));
            GLCHECKED(glBufferData(GL_COPY_WRITE_BUFFER, bytes, nullptr, GL_DYNAMIC_DRAW));
            GLCHECKED(glBindBuffer(GL_COPY_READ_BUFFER, published.buf()));
            GLCHECKED(glCopyBufferSubData(GL_COPY_READ_BUFFER, GL_COPY_WRITE_BUFFER, 0, 0, bytes));
            GLCHECKED(glBindVertexArray(vaos[i]));
            GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, vbos[i]));
            GLCHECKED(glEnableVertexAttribArray(0));
            GLCHECKED(glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr));
        }
        GLCHECKED(glBindVertexArray(0));
        samples = scene.colourtarget().samples;
        GLCHECKED(glGenTextures(1, &target));
        GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, target));
        GLCHECKED(glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGB16F, width, height, GL_FALSE));
        GLCHECKED(glGenFramebuffers(1, &fbo));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbo));
        GLCHECKED(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, target, 0));
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
    }
    ~rawdraws() {
        GLCHECKED(glDeleteFramebuffers(1, &fbo));
        GLCHECKED(glDeleteTextures(1, &target));
        GLCHECKED(glDeleteBuffers(2, vbos));
        GLCHECKED(glDeleteVertexArrays(3, vaos));
        for (GLuint p : {ground, sky, pass}) GLCHECKED(glDeleteProgram(p));
    }

    void frame(const glm::mat4& camera, float distort) {
        const glm::vec2 size{float(width), float(height)};
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbo));
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
            if (i == 0) GLCHECKED(glUniform2f(glGetUniformLocation(programs[i], "screenSize"), size.x, size.y));
            GLCHECKED(glBindVertexArray(vaos[i]));
            GLCHECKED(glDrawArrays(GL_POINTS, 0, counts[i]));
        }
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_BLEND));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glUseProgram(pass));
        GLCHECKED(glActiveTexture(GL_TEXTURE0));
        GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, target));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "tex"), 0));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "samples"), samples));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "maxbright"), 20.0f));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "exposure"), 0.5f));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "distort"), distort));
        GLCHECKED(glUniform2f(glGetUniformLocation(pass, "res"), size.x, size.y));
        GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(pass, "m"), 1, GL_FALSE, glm::value_ptr(glm::mat4(1.0f))));
        GLCHECKED(glBindVertexArray(vaos[2]));
        GLCHECKED(glDrawArrays(GL_POINTS, 0, 1));
        GLCHECKED(glBindVertexArray(0));
        GLCHECKED(glFinish());
    }

private:
    int width, height, samples = 1;
    GLuint ground = 0, sky = 0, pass = 0;
    GLuint vaos[3] = {};
    GLuint vbos[2] = {};
    int counts[2] = {};
    GLuint target = 0, fbo = 0;
};

std::vector<unsigned char> windowpixels(int width, int height) {
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
    GLCHECKED(glReadBuffer(GL_BACK));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()));
    return pixels;
}

void run(int width, int height, int steps) {
    windowwidth = width;
    windowheight = height;
    GLCHECKED(glViewport(0, 0, width, height));
    sharedcolor = Texture(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    // From 120 s: camera A, and a distortion of 10 and more, so the pass bends the picture.
    starttime = 0;
    updatetime = prevupdatetime = 120000;
    {
        benchscene scene;
        scene.resize(width, height);
        scene.enter(nullptr);
        scene.update();
        scene.sync();
        scene.display();
        GLCHECKED(glFinish());
        rawkernels kernels({{"xn=1;yt=1;", 10}, {loadResource("dreamscape.slcl"), 3000000},
                            {loadResource("dreamscapesky.slcl"), 500000}});
        rawdraws draws(scene, width, height);
        kernels.step();
        // Both sides must draw the same picture for the comparison to mean anything.
        const std::vector<unsigned char> engineview = windowpixels(width, height);
        draws.frame(scene.camera(), scene.distortion());
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
            kernels.step();
            rawupdate.push_back(since(start));

            start = stopwatch::now();
            scene.sync();
            GLCHECKED(glFinish());
            sync.push_back(since(start));
            start = stopwatch::now();
            scene.display();
            GLCHECKED(glFinish());
            display.push_back(since(start));
            start = stopwatch::now();
            draws.frame(scene.camera(), scene.distortion());
            rawframe.push_back(since(start));
        }
        scene.leave(nullptr);

        const double u = median(update), ru = median(rawupdate), s = median(sync), d = median(display),
                     rf = median(rawframe);
        std::printf("dreamscape %dx%d, %d steps (medians):\n", width, height, steps);
        std::printf("  update   engine %8.2f ms   raw OpenCL %8.2f ms   ratio %.3f\n", u, ru, u / ru);
        std::printf("  display  engine %8.2f ms   raw GL     %8.2f ms   ratio %.3f\n", d, rf, d / rf);
        std::printf("  sync (publishing the clouds) %.2f ms; sync + display against raw GL: ratio %.3f\n", s,
                    (s + d) / rf);
    }
    sharedcolor = Texture();
}

}  // namespace

int main(int argc, char** argv) {
    int width = 640, height = 360;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: dreamscape_bench [WxH [steps]]\n");
        return 2;
    }
    const int steps = argc > 2 ? std::atoi(argv[2]) : 15;
    if (!glfwInit()) {
        std::fprintf(stderr, "glfwInit failed (no display?)\n");
        return 1;
    }
    GLFWwindow* window = talvo::platform::createhiddencontext(width, height, "dreamscape_bench", nullptr);
    if (!window) {
        std::fprintf(stderr, "no GL 3.3 core context\n");
        return 1;
    }
    glfwMakeContextCurrent(window);
    int status = 0;
    try {
        run(width, height, steps);
    } catch (const Log::CLException&) {
        status = 1;
    } catch (const Log::GLException&) {
        status = 1;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return status;
}
