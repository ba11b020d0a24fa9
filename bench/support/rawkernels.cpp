#include "bench/support/rawkernels.h"

#include "cl/clcontext.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"

namespace talvo::bench {

rawkernels::rawkernels(const std::vector<rawcurve>& curves) {
    const cl_context context = CLContext::instance()->context();
    cl_int err = CL_SUCCESS;
    for (const rawcurve& curve : curves) {
        const int count = curve.count;
        kernel k;
        k.count = count;
        const std::string source = curvesource(curve.expression, curve.prefix);
        const char* text = source.c_str();
        const size_t length = source.size();
        CLCHECKED_ERR(k.program = clCreateProgramWithSource(context, 1, &text, &length, &err), err);
        CLCHECKED(clBuildProgram(k.program, 0, nullptr, generatedoptions, nullptr, nullptr));
        CLCHECKED_ERR(k.update = clCreateKernel(k.program, "update", &err), err);
        for (cl_mem& mem : k.mems)
            CLCHECKED_ERR(mem = clCreateBuffer(context, CL_MEM_READ_WRITE, size_t(count) * 4 * sizeof(float), nullptr, &err), err);
        if (curve.readback) k.host.resize(size_t(count) * 4 * 3);
        kernels.push_back(k);
    }
}

rawkernels::~rawkernels() {
    for (kernel& k : kernels) {
        for (cl_mem mem : k.mems) CLCHECKED(clReleaseMemObject(mem));
        CLCHECKED(clReleaseKernel(k.update));
        CLCHECKED(clReleaseProgram(k.program));
    }
}

void rawkernels::step() {
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
        const size_t bytes = size_t(k.count) * 4 * sizeof(float);
        for (size_t i = 0; i < 3 && !k.host.empty(); ++i)
            CLCHECKED(clEnqueueReadBuffer(queue, k.mems[i + 1], CL_FALSE, 0, bytes, k.host.data() + i * size_t(k.count) * 4,
                                          0, nullptr, nullptr));
    }
    CLCHECKED(clFinish(queue));
}

}  // namespace talvo::bench
