// GL buffers shared with OpenCL without cl_khr_gl_sharing (PoCL), through persistent mappings
// or, where GL hides GL_ARB_buffer_storage (the "copied." runs), through copies: what kernels
// write reaches GL at releaseGL, what GL uploads reaches kernels at the next acquireGL, and
// nothing else is copied.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "cl/buffer.h"
#include "cl/clcontext.h"
#include "cl/clprogram.h"
#include "platform/contexts.h"
#include "support/clfixture.h"

using namespace talvo;
using namespace testsupport;

namespace {

const char* const kernels =
    "__kernel void fill(__global float* p, float v){ p[get_global_id(0)] = v + get_global_id(0); }"
    "__kernel void twice(__global float* p){ p[get_global_id(0)] *= 2.0f; }";

class staged : public cltest {
protected:
    void SetUp() override {
        cltest::SetUp();
        program = CLProgram(kernels, cloptions);
        program.createKernel("fill");
        program.createKernel("twice");
        // A device that shares GL buffers natively (a GPU's platform, chosen before PoCL) never stages.
        if (CLContext::instance()->native()) GTEST_SKIP() << "the OpenCL device shares GL buffers natively";
    }
    CLProgram program;
};

TEST_F(staged, KernelResultsReachTheRenderThreadsContextAtRelease) {
    GLFWwindow* render = glfwGetCurrentContext();
    GLFWwindow* updatecontext = platform::createsecondarycontext(render, 3, 3);
    ASSERT_NE(updatecontext, nullptr);

    // Built on the render thread, as scenes are.
    Buffer<float> buffer;
    buffer.allocate(4);
    program.setArg("fill", 0, buffer);
    program.setArg("fill", 1, 10.0f);

    std::thread updater([&] {
        glfwMakeContextCurrent(updatecontext);
        CLContext::instance()->acquireGL();
        program.run("fill", 4, false);
        CLContext::instance()->releaseGL();
        glfwMakeContextCurrent(nullptr);
    });
    updater.join();

    EXPECT_EQ(glfloats(buffer.buf(), 4), (std::vector<float>{10.0f, 11.0f, 12.0f, 13.0f}));
    glfwDestroyWindow(updatecontext);
    glfwMakeContextCurrent(render);
}

TEST_F(staged, AnUploadAfterRegistrationReachesTheNextAcquire) {
    Buffer<float> buffer;
    buffer.upload({1.0f, 2.0f, 3.0f, 4.0f});
    program.setArg("twice", 0, buffer);
    program.run("twice", 4, true);
    EXPECT_EQ(glfloats(buffer.buf(), 4), (std::vector<float>{2.0f, 4.0f, 6.0f, 8.0f}));

    buffer.upload({10.0f, 20.0f, 30.0f, 40.0f});
    program.run("twice", 4, true);
    EXPECT_EQ(glfloats(buffer.buf(), 4), (std::vector<float>{20.0f, 40.0f, 60.0f, 80.0f}));
}

TEST_F(staged, ReSizingAMappedBufferIsRefusedAndKeepsItsContents) {
    if (!CLContext::instance()->mapped()) GTEST_SKIP() << "copied buffers take any size";
    Buffer<float> buffer;
    buffer.upload({1.0f, 2.0f});
    program.setArg("twice", 0, buffer);
    program.run("twice", 2, true);
    EXPECT_THROW(buffer.upload({1.0f, 2.0f, 3.0f}), std::invalid_argument);
    EXPECT_EQ(buffer.size(), 2);
    program.run("twice", 2, true);
    EXPECT_EQ(glfloats(buffer.buf(), 2), (std::vector<float>{4.0f, 8.0f}));
}

TEST_F(staged, BuffersNoKernelOfTheBracketWasGivenAreNotCopiedBack) {
    Buffer<float> written, untouched;
    written.allocate(2);
    untouched.upload({1.0f, 1.0f});
    program.setArg("fill", 0, written);
    program.setArg("fill", 1, 5.0f);
    program.setArg("twice", 0, untouched);
    program.run("twice", 2, true);
    ASSERT_EQ(glfloats(untouched.buf(), 2), (std::vector<float>{2.0f, 2.0f}));

    // Changed behind OpenCL's back: a copy back from OpenCL would bring the 2s back.
    const float changed[] = {7.0f, 7.0f};
    glBindBuffer(GL_ARRAY_BUFFER, untouched.buf());
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(changed), changed);

    program.run("fill", 2, true);
    EXPECT_EQ(glfloats(written.buf(), 2), (std::vector<float>{5.0f, 6.0f}));
    EXPECT_EQ(glfloats(untouched.buf(), 2), (std::vector<float>{7.0f, 7.0f}));
}

TEST_F(staged, ADeletedBufferTakesItsMemoryObjectAlong) {
    const size_t before = CLContext::instance()->glbuffercount();
    {
        Buffer<float> first;
        first.upload({1.0f, 2.0f});
        program.setArg("twice", 0, first);
        program.run("twice", 2, true);
        EXPECT_EQ(CLContext::instance()->glbuffercount(), before + 1);
    }
    EXPECT_EQ(CLContext::instance()->glbuffercount(), before);

    // GL may hand the name out again; the new buffer must not inherit the old contents.
    Buffer<float> second;
    second.upload({3.0f, 4.0f, 5.0f});
    program.setArg("twice", 0, second);
    program.run("twice", 3, true);
    EXPECT_EQ(glfloats(second.buf(), 3), (std::vector<float>{6.0f, 8.0f, 10.0f}));
}

}  // namespace
