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

class rawkernels {
public:
    // One kernel per (curve expression, vertex count); needs the engine's OpenCL context, which
    // exists once a scene or tree has built a program.
    explicit rawkernels(const std::vector<std::pair<std::string, int>>& expressions);
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
    };
    std::vector<kernel> kernels;
};

}  // namespace talvo::bench
