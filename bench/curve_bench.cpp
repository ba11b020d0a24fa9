// One update step of a curve generator through the engine (a tree's acquire/run/release
// bracket, with the staged copy into GL where there is no native sharing) against the same
// kernel source enqueued and finished with plain OpenCL calls, in the same process and
// context. Prints the median step of each and their ratio.
//
//   curve_bench [steps]        (needs a display; Xvfb will do)
#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "platform/contexts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "cl/clcontext.h"
#include "cl/ftree.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"
#include "engine/globals.h"

using namespace talvo;

namespace {

struct workload {
    const char* name;
    const char* expression;
};
const workload workloads[] = {
    // A ground-like cloud: a spiral disc with a moving height field, normal up, tangent along
    // the spiral.
    {"ground", "float a=f*6283.0f; float r=1700.0f*sqrt(f); x=r*cos(a); z=r*sin(a);"
               "y=60.0f*sin(x*0.01f+acctime)*cos(z*0.013f-acctime); w=1;"
               "yn=1; xt=-sin(a); zt=cos(a);"},
    // Almost no arithmetic: what the copies cost against the kernel's own memory traffic.
    {"line", "x=f*1000-500;xn=1;yt=1;"},
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Alternates the two steps, so that both see the same load from whatever else runs on the
// machine, and returns the median time of each in milliseconds.
std::pair<double, double> timed(const std::function<void()>& first, const std::function<void()>& second, int steps) {
    first();  // first runs: caches and page faults
    second();
    std::vector<double> times[2];
    for (int i = 0; i < steps; ++i) {
        updatetime += steplength;
        int which = 0;
        for (const std::function<void()>* step : {&first, &second}) {
            const auto begin = std::chrono::steady_clock::now();
            (*step)();
            times[which++].push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        }
    }
    return {median(times[0]), median(times[1])};
}

void compare(const workload& work, int count, int steps) {
    const char* const expression = work.expression;
    ftree tree(CurveGenerator(expression, count, ""), [](glm::mat4, VArray&, int) {});
    tree.setGrowth(1.0f);

    // The same source, built and run without the engine.
    CLContext& context = *CLContext::instance();
    const std::string source = curvesource(expression, "");
    const char* text = source.c_str();
    const size_t length = source.size();
    cl_int err = CL_SUCCESS;
    cl_program program = nullptr;
    CLCHECKED_ERR(program = clCreateProgramWithSource(context.context(), 1, &text, &length, &err), err);
    CLCHECKED(clBuildProgram(program, 0, nullptr, generatedoptions, nullptr, nullptr));
    cl_kernel kernel = nullptr;
    CLCHECKED_ERR(kernel = clCreateKernel(program, "update", &err), err);
    const size_t bytes = size_t(count) * 4 * sizeof(float);
    cl_mem mems[4] = {};
    for (cl_mem& mem : mems) CLCHECKED_ERR(mem = clCreateBuffer(context.context(), CL_MEM_READ_WRITE, bytes, nullptr, &err), err);
    const float n = float(count);
    const size_t size = size_t(count);
    const auto [engine, raw] = timed(
        [&] { tree.update(); },
        [&] {
            const float seconds = acctime();
            CLCHECKED(clSetKernelArg(kernel, 0, sizeof(cl_mem), &mems[0]));
            CLCHECKED(clSetKernelArg(kernel, 1, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(kernel, 2, sizeof(float), &n));
            CLCHECKED(clSetKernelArg(kernel, 3, sizeof(float), &seconds));
            for (cl_uint i = 1; i < 4; ++i) CLCHECKED(clSetKernelArg(kernel, 3 + i, sizeof(cl_mem), &mems[i]));
            CLCHECKED(clEnqueueNDRangeKernel(context.queue(), kernel, 1, nullptr, &size, nullptr, 0, nullptr, nullptr));
            CLCHECKED(clFinish(context.queue()));
        },
        steps);
    for (cl_mem mem : mems) CLCHECKED(clReleaseMemObject(mem));
    CLCHECKED(clReleaseKernel(kernel));
    CLCHECKED(clReleaseProgram(program));

    std::printf("%-6s %8d vertices: engine step %8.3f ms, raw kernel %8.3f ms, ratio %.3f\n", work.name, count, engine, raw, engine / raw);
}

}  // namespace

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 31;
    if (!glfwInit()) {
        std::fprintf(stderr, "glfwInit failed (no display?)\n");
        return 1;
    }
    GLFWwindow* window = talvo::platform::createhiddencontext(64, 64, "curve_bench", nullptr);
    if (!window) {
        std::fprintf(stderr, "no GL 3.3 core context\n");
        return 1;
    }
    glfwMakeContextCurrent(window);
    try {
        for (const workload& work : workloads)
            for (int count : {100000, 3000000}) compare(work, count, steps);
    } catch (const Log::CLException&) {
        return 1;
    } catch (const Log::GLException&) {
        return 1;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
