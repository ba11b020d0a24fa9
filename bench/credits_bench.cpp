// The credits scene against the same work done without the engine, in the same process and
// context:
//   text     the start-up text: the font opened and sized and the twelve strings of the
//            production (the ten credits lines and the two titles) rendered with renderText,
//            one pass per glyph, against FreeType's bitmaps laid out on the CPU and uploaded
//            with one glTexImage2D (and its mipmaps) per string;
//   update   the scene's step (growth, channels, the tree's bracket: acquire, the hub and branch
//            kernels, the branch's read-back for the branches hanging on it, release) against
//            the same two kernel sources enqueued on plain OpenCL buffers, the read-back and a
//            finish;
//   frame    the scene's sync (publishing) and display (100 ribbons through the tree, ten card
//            passes, the HDR pass) against the same programs drawing the same vertices with
//            the same matrices with plain GL calls into a target of the same kind.
// Steps alternate between the two sides so that both see the same load. Prints the medians
// and the engine/raw ratios.
//
//   credits_bench [WxH [steps]]   (from the build directory, which holds resources/; needs a
//                                  display, Xvfb will do)
#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "cl/clcontext.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/resource.h"
#include "gl/sharedtargets.h"
#include "platform/contexts.h"
#include "scenes/credits.h"
#include "text/rendertext.h"

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

const char* const fontfile = "exmouth/exmouth_.ttf";

// The strings the production renders at start-up.
std::vector<std::string> startuptexts() {
    std::vector<std::string> texts(credits::texts.begin(), credits::texts.end());
    texts.insert(texts.end(), {"TalvoX001", "Quellspire"});
    return texts;
}

// The same strings without the engine: FreeType's glyph bitmaps added into one byte image per
// string on the CPU, uploaded as an RGBA texture (coverage in every channel) with mipmaps.
double rawtext(const std::vector<std::string>& texts) {
    const stopwatch::time_point start = stopwatch::now();
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FTCHECKED(FT_Init_FreeType(&library));
    FTCHECKED(FT_New_Face(library, resourcePath(fontfile).c_str(), 0, &face));
    FTCHECKED(FT_Set_Pixel_Sizes(face, 0, Font::pixelheight));
    std::vector<GLuint> textures(texts.size());
    GLCHECKED(glGenTextures(GLsizei(textures.size()), textures.data()));
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
            // Rows from the bottom, as GL has them.
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
        GLCHECKED(glPixelStorei(GL_UNPACK_ALIGNMENT, 1));
        GLCHECKED(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data()));
        GLCHECKED(glGenerateMipmap(GL_TEXTURE_2D));
    }
    GLCHECKED(glFinish());
    const double ms = since(start);
    GLCHECKED(glDeleteTextures(GLsizei(textures.size()), textures.data()));
    FTCHECKED(FT_Done_Face(face));
    FTCHECKED(FT_Done_FreeType(library));
    return ms;
}

double enginetext(const std::vector<std::string>& texts) {
    const stopwatch::time_point start = stopwatch::now();
    std::vector<Texture> textures;
    {
        Font font(fontfile);
        font.setsize();
        for (const std::string& text : texts) textures.push_back(renderText(font, text));
        GLCHECKED(glFinish());
    }
    const double ms = since(start);
    GLCHECKED(glDisable(GL_BLEND));
    return ms;
}

// The scene opened up to the benchmark; every ribbon's matrix and count of the latest display
// is recorded for the raw side.
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

// The scene's two kernels on plain OpenCL, with the read-back of the branch that its children
// need once per step.
class rawkernels {
public:
    rawkernels() {
        add("xn=1;yt=1", 1, "");
        add(loadResource("credits.slcl"), credits::branchvertices, loadResource("tools.slcl"));
        host.resize(size_t(credits::branchvertices) * 4);
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
        // Positions, tangents and normals of both: the hub's and the branch's carry children.
        for (kernel& k : kernels)
            for (cl_uint i = 1; i < 4; ++i)
                CLCHECKED(clEnqueueReadBuffer(queue, k.mems[i], CL_TRUE, 0, size_t(k.count) * 16, host.data(), 0,
                                              nullptr, nullptr));
        CLCHECKED(clFinish(queue));
    }

private:
    struct kernel {
        int count = 0;
        cl_program program = nullptr;
        cl_kernel update = nullptr;
        std::array<cl_mem, 4> mems{};
    };
    void add(const std::string& expression, int count, const std::string& prefix) {
        const cl_context context = CLContext::instance()->context();
        cl_int err = CL_SUCCESS;
        kernel k;
        k.count = count;
        const std::string source = curvesource(expression, prefix);
        const char* text = source.c_str();
        const size_t length = source.size();
        CLCHECKED_ERR(k.program = clCreateProgramWithSource(context, 1, &text, &length, &err), err);
        CLCHECKED(clBuildProgram(k.program, 0, nullptr, generatedoptions, nullptr, nullptr));
        CLCHECKED_ERR(k.update = clCreateKernel(k.program, "update", &err), err);
        for (cl_mem& mem : k.mems)
            CLCHECKED_ERR(mem = clCreateBuffer(context, CL_MEM_READ_WRITE, size_t(count) * 16, nullptr, &err), err);
        kernels.push_back(k);
    }
    std::vector<kernel> kernels;
    std::vector<float> host;
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

// The scene's frame with plain GL: the ribbons from a copy of the branch's published vertices
// with the matrices the tree drew with, the ten cards, then the HDR pass into the window.
class rawdraws {
public:
    rawdraws(benchscene& scene, int width, int height) : width(width), height(height) {
        ribbon = rawprogram("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag");
        card = rawprogram("null.vert", "fsquad.geom", "credits_font.frag");
        pass = rawprogram("null.vert", "fsquad.geom", "hdr.frag");
        GLCHECKED(glGenVertexArrays(2, vaos));
        GLCHECKED(glGenBuffers(1, &vbo));
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
        GLCHECKED(glDeleteBuffers(1, &vbo));
        GLCHECKED(glDeleteVertexArrays(2, vaos));
        for (GLuint p : {ribbon, card, pass}) GLCHECKED(glDeleteProgram(p));
    }

    // What sync does for the branches: the published vertices, copied on the GPU.
    void publish(benchscene& scene) {
        Buffer<float>& published = scene.branch().display();
        const GLsizeiptr bytes = GLsizeiptr(published.size()) * GLsizeiptr(sizeof(float));
        GLCHECKED(glBindVertexArray(0));
        GLCHECKED(glBindBuffer(GL_COPY_WRITE_BUFFER, vbo));
        GLCHECKED(glBufferData(GL_COPY_WRITE_BUFFER, bytes, nullptr, GL_DYNAMIC_COPY));
        GLCHECKED(glBindBuffer(GL_COPY_READ_BUFFER, published.buf()));
        GLCHECKED(glCopyBufferSubData(GL_COPY_READ_BUFFER, GL_COPY_WRITE_BUFFER, 0, 0, bytes));
        GLCHECKED(glBindVertexArray(vaos[0]));
        GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, vbo));
        GLCHECKED(glEnableVertexAttribArray(0));
        GLCHECKED(glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr));
        GLCHECKED(glBindVertexArray(0));
    }

    void frame(benchscene& scene, float t) {
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, fbo));
        GLCHECKED(glViewport(0, 0, width, height));
        GLCHECKED(glDepthMask(GL_TRUE));
        GLCHECKED(glDisable(GL_DEPTH_TEST));
        GLCHECKED(glEnable(GL_BLEND));
        GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
        GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
        GLCHECKED(glUseProgram(ribbon));
        GLCHECKED(glUniform2f(glGetUniformLocation(ribbon, "screenSize"), float(width), float(height)));
        const GLint mat = glGetUniformLocation(ribbon, "mat");
        GLCHECKED(glBindVertexArray(vaos[0]));
        for (const auto& [m, count] : scene.drawn) {
            GLCHECKED(glUniformMatrix4fv(mat, 1, GL_FALSE, glm::value_ptr(m)));
            GLCHECKED(glDrawArrays(GL_TRIANGLE_STRIP, 0, count));
        }
        GLCHECKED(glUseProgram(card));
        GLCHECKED(glBindVertexArray(vaos[1]));
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
        GLCHECKED(glUseProgram(pass));
        GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, target));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "tex"), 0));
        GLCHECKED(glUniform1i(glGetUniformLocation(pass, "samples"), samples));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "maxbright"), 1.0f));
        GLCHECKED(glUniform1f(glGetUniformLocation(pass, "exposure"), scene.exposurenow()));
        GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(pass, "m"), 1, GL_FALSE, glm::value_ptr(glm::mat4(1.0f))));
        GLCHECKED(glDrawArrays(GL_POINTS, 0, 1));
        GLCHECKED(glBindVertexArray(0));
        GLCHECKED(glFinish());
    }

private:
    int width, height, samples = 1;
    GLuint ribbon = 0, card = 0, pass = 0;
    GLuint vaos[2] = {};
    GLuint vbo = 0;
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

    const std::vector<std::string> texts = startuptexts();
    std::vector<double> text, rawtexts;
    for (int i = 0; i < 5; ++i) {
        text.push_back(enginetext(texts));
        rawtexts.push_back(rawtext(texts));
    }

    sharedcolor = Texture(8, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    // From 175 s: most of the tree has grown, three cards are in view and one is dissolving.
    starttime = 0;
    const float scenestart = 160000.0f;
    updatetime = prevupdatetime = 175000;
    {
        benchscene scene;
        scene.resize(width, height);
        scene.enter(nullptr);
        scene.update();
        scene.sync();
        scene.drawn.clear();
        scene.display();
        GLCHECKED(glFinish());
        rawkernels kernels;
        rawdraws draws(scene, width, height);
        kernels.step();
        // Both sides must draw the same picture for the comparison to mean anything.
        const std::vector<unsigned char> engineview = windowpixels(width, height);
        draws.publish(scene);
        draws.frame(scene, float(prevupdatetime) - scenestart);
        const std::vector<unsigned char> rawview = windowpixels(width, height);
        long differing = 0;
        for (size_t i = 0; i < rawview.size(); ++i) differing += rawview[i] != engineview[i];
        if (differing) std::printf("warning: the raw frame differs from the scene's in %ld of %zu values\n", differing, rawview.size());

        std::vector<double> update, rawupdate, sync, display, rawframe;
        for (int i = 0; i < steps; ++i) {
            updatetime += steplength;
            prevupdatetime = updatetime;
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
            scene.drawn.clear();
            start = stopwatch::now();
            scene.display();
            GLCHECKED(glFinish());
            display.push_back(since(start));
            start = stopwatch::now();
            draws.publish(scene);
            draws.frame(scene, float(prevupdatetime) - scenestart);
            rawframe.push_back(since(start));
        }
        scene.leave(nullptr);

        const double tx = median(text), rt = median(rawtexts), u = median(update), ru = median(rawupdate),
                     s = median(sync), d = median(display), rf = median(rawframe);
        std::printf("credits %dx%d, %d steps (medians):\n", width, height, steps);
        std::printf("  text     engine %8.2f ms   raw FreeType+GL %8.2f ms   ratio %.3f  (%zu strings, font included)\n",
                    tx, rt, tx / rt, texts.size());
        std::printf("  update   engine %8.2f ms   raw OpenCL      %8.2f ms   ratio %.3f\n", u, ru, u / ru);
        std::printf("  display  engine %8.2f ms   raw GL          %8.2f ms   ratio %.3f\n", d, rf, d / rf);
        std::printf("  sync (publishing the tree) %.2f ms; sync + display against raw GL: ratio %.3f\n", s, (s + d) / rf);
    }
    sharedcolor = Texture();
}

}  // namespace

int main(int argc, char** argv) {
    int width = 640, height = 360;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: credits_bench [WxH [steps]]\n");
        return 2;
    }
    const int steps = argc > 2 ? std::atoi(argv[2]) : 40;
    if (!glfwInit()) {
        std::fprintf(stderr, "glfwInit failed (no display?)\n");
        return 1;
    }
    GLFWwindow* window = talvo::platform::createhiddencontext(width, height, "credits_bench", nullptr);
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
    } catch (const Log::FTException&) {
        status = 1;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return status;
}
