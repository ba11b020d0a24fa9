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
    // A curve kernel with the functions it calls, and whether a tree reads its positions,
    // tangents and normals back after each run to place children on it.
    struct curve {
        std::string expression;
        std::string prefix;
        int count;
        bool readback;
    };

    // One kernel per (curve expression, vertex count); needs the engine's OpenCL context, which
    // exists once a scene or tree has built a program.
    explicit rawkernels(const std::vector<std::pair<std::string, int>>& expressions);
    explicit rawkernels(const std::vector<curve>& curves);
    ~rawkernels();
    rawkernels(const rawkernels&) = delete;
    rawkernels& operator=(const rawkernels&) = delete;

    // Every kernel once at the production clock's time (with its read-backs), then finishes the
    // queue.
    void step();

private:
    struct kernel {
        int count = 0;
        bool readback = false;
        std::vector<float> host;  // what the read-backs land in
        cl_program program = nullptr;
        cl_kernel update = nullptr;
        std::array<cl_mem, 4> mems{};
    };
    std::vector<kernel> kernels;
};

}  // namespace talvo::bench
