#pragma once
// The raw OpenCL reference of a benchmark: the engine's curve kernels, each source built from
// the engine's kernel template, enqueued on the engine's context and queue with plain OpenCL
// calls on plain buffers of their own (four float4 buffers per kernel), without the engine's
// programs, arguments or GL sharing.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "cl/opencl.h"

namespace talvo::bench {

// A curve expression, its vertex count and the prefix whose functions it calls. A curve that
// other geometry hangs on has its positions, tangents and normals read back every step, as a
// geometry tree does.
struct rawcurve {
    rawcurve(std::string expression, int count, std::string prefix = "", bool readback = false)
        : expression(std::move(expression)), count(count), prefix(std::move(prefix)), readback(readback) {}
    std::string expression;
    int count;
    std::string prefix;
    bool readback;
};

class rawkernels {
public:
    // One kernel per curve; needs the engine's OpenCL context, which exists once a scene or
    // tree has built a program.
    explicit rawkernels(const std::vector<rawcurve>& curves);
    ~rawkernels();
    rawkernels(const rawkernels&) = delete;
    rawkernels& operator=(const rawkernels&) = delete;

    // Every kernel once at the production clock's time, then finishes the queue.
    void step();

private:
    struct kernel {
        int count = 0;
        cl_program program = nullptr;
        cl_kernel update = nullptr;
        std::array<cl_mem, 4> mems{};
        std::vector<float> host;  // the read-back arrays, when the curve has them
    };
    std::vector<kernel> kernels;
};

}  // namespace talvo::bench
