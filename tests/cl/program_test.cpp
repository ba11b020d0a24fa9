// Programs, kernels and arguments on PoCL.
#include <gtest/gtest.h>

#include <vector>

#include "cl/buffer.h"
#include "cl/clcontext.h"
#include "cl/clprogram.h"
#include "diag/check.h"
#include "support/clfixture.h"

using namespace talvo;
using namespace testsupport;

namespace {

class clprogram : public cltest {};

std::vector<float> devicefloats(float* host, int n) {
    std::vector<float> values(static_cast<size_t>(n));
    CLCHECKED(clEnqueueReadBuffer(CLContext::instance()->queue(), hostMem(host, n), CL_TRUE, 0, n * sizeof(float),
                                  values.data(), 0, nullptr, nullptr));
    return values;
}

TEST_F(clprogram, FirstProgramCreatesTheContextAndTheLastDestroysIt) {
    if (CLContext::instance()) GTEST_SKIP() << "an earlier test of this process keeps a cached program alive";
    cl_uint platforms = 0;
    ASSERT_EQ(clGetPlatformIDs(0, nullptr, &platforms), CL_SUCCESS);

    testing::internal::CaptureStdout();
    bool native = false;
    {
        CLProgram first("__kernel void a(__global float* x){x[0]=1;}", cloptions);
        ASSERT_NE(CLContext::instance(), nullptr);
        native = CLContext::instance()->native();
        const CLContext* context = CLContext::instance();
        CLProgram second("__kernel void b(__global float* x){x[0]=2;}", cloptions);
        CLProgram copy = first;
        EXPECT_EQ(CLContext::instance(), context);
        EXPECT_EQ(liveprograms, 2);
        EXPECT_EQ(copy.name(), first.name());
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(CLContext::instance(), nullptr);
    EXPECT_EQ(liveprograms, 0);
    EXPECT_EQ(occurrences(out, "Platform count: "), 1);
    EXPECT_EQ(occurrences(out, "Platform count: " + std::to_string(platforms) + "\n"), 1);
    // PoCL lists no cl_khr_gl_sharing; a GPU's platform, chosen before it, may.
    const char* const sharing = native ? "GL buffers shared natively"
                                : epoxy_has_gl_extension("GL_ARB_buffer_storage")
                                    ? "GL buffers shared through persistent mappings"
                                    : "GL buffers staged through copies";
    EXPECT_EQ(occurrences(out, sharing), 1) << out;
}

TEST_F(clprogram, SizeZeroRunsOneWorkItem) {
    CLProgram program("__kernel void mark(__global float* out){ out[get_global_id(0)] = get_global_size(0); }",
                      cloptions);
    program.createKernel("mark");
    std::vector<float> host(4, -1.0f);
    program.setArg("mark", 0, host.data(), 4);
    program.run("mark", 0, true);
    EXPECT_EQ(devicefloats(host.data(), 4), (std::vector<float>{1.0f, -1.0f, -1.0f, -1.0f}));
    CLContext::instance()->forgethost(host.data());
}

TEST_F(clprogram, ArgumentsStayBoundAndHandlesShareThePrograms) {
    CLProgram program(
        "__kernel void scale(__global float* a, float k){ a[get_global_id(0)] *= k; }"
        "__kernel void fill(__global float4* p, float v){ p[get_global_id(0)] = (float4)(v); }",
        cloptions);
    program.createKernel("scale");
    program.createKernel("fill");
    EXPECT_EQ(program.kernel("absent"), nullptr);

    std::vector<float> host{1.0f, 2.0f, 3.0f};
    program.setArg("scale", 0, host.data(), 3);
    program.setArg("scale", 1, 2.0f);
    {
        CLProgram copy = program;
        EXPECT_EQ(program.usecount(), 2);
        copy.run("scale", 3, true);
    }
    EXPECT_EQ(program.usecount(), 1);
    // The array was copied to the device once; later calls ignore the host side and the size.
    host.assign({100.0f, 100.0f, 100.0f});
    program.setArg("scale", 0, host.data(), 1);
    program.run("scale", 3, true);
    EXPECT_EQ(devicefloats(host.data(), 3), (std::vector<float>{4.0f, 8.0f, 12.0f}));
    CLContext::instance()->forgethost(host.data());

    // One GL buffer, bound to two kernels, has one memory object.
    Buffer<float> buffer;
    buffer.allocate(8);
    const size_t before = CLContext::instance()->glbuffercount();
    program.setArg("fill", 0, buffer);
    program.setArg("scale", 0, buffer);
    EXPECT_EQ(CLContext::instance()->glbuffercount(), before + 1);
    EXPECT_EQ(sharedMem(buffer), sharedMem(Buffer<float>(buffer)));
    program.setArg("fill", 1, 0.5f);
    program.run("fill", 2, true);
    program.run("scale", 8, true);
    EXPECT_EQ(glfloats(buffer.buf(), 8), std::vector<float>(8, 1.0f));
}

TEST_F(clprogram, BuildFailurePrintsTheLogBeforeTheCheckLine) {
    CLProgram keep("__kernel void a(__global float* x){x[0]=1;}", cloptions);  // keeps the context
    const int live = liveprograms;
    testing::internal::CaptureStderr();
    EXPECT_THROW(CLProgram("__kernel void broken(__global float* x){ x[0] = undefinedthing; }", cloptions),
                 Log::CLException);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string check = "at clBuildProgram(*_program, 0,0, \"\", 0,0); | CLERROR: Program build failure\n";
    ASSERT_GE(err.size(), check.size()) << err;
    EXPECT_EQ(err.substr(err.size() - check.size()), check) << err;
    const size_t log = err.find("undefinedthing");
    EXPECT_LT(log, err.size() - check.size()) << err;
    EXPECT_EQ(liveprograms, live) << "the failed program is released";
}

}  // namespace
