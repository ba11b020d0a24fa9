// The interop layer (tests/support/interop) that runs the native sharing path here: each rule
// of GL sharing broken once, in a child process under the layer, gets its violation line and
// status, or the error the extension names; one bracket done right passes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cl/clcontext.h"
#include "platform/contexts.h"
#include "support/clfixture.h"
#include "support/process.h"

using namespace talvo;
using namespace testsupport;

namespace {

// A sharing context of our own on the test's GL context (or on another context of its share
// group), a GL buffer of four floats with its memory object, and a kernel that doubles them;
// released, the context last, before the GL contexts go.
struct sharing {
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    GLuint buf = 0;
    cl_mem mem = nullptr;
    cl_kernel twice = nullptr;

    explicit sharing(void* glxcontext = nullptr) {
        cl_uint count = 0;
        clGetPlatformIDs(0, nullptr, &count);
        std::vector<cl_platform_id> platforms(count);
        clGetPlatformIDs(count, platforms.data(), nullptr);
        device = choosedevice(platforms, &platform);
        cl_int err = CL_SUCCESS;
        context = clCreateContext(props(glxcontext).data(), 1, &device, nullptr, nullptr, &err);
        EXPECT_EQ(err, CL_SUCCESS);
        queue = clCreateCommandQueue(context, device, 0, &err);
        const float data[4] = {1, 2, 3, 4};
        glGenBuffers(1, &buf);
        glBindBuffer(GL_ARRAY_BUFFER, buf);
        glBufferData(GL_ARRAY_BUFFER, sizeof data, data, GL_DYNAMIC_COPY);
        glFinish();
        mem = clCreateFromGLBuffer(context, CL_MEM_READ_WRITE, buf, &err);
        EXPECT_EQ(err, CL_SUCCESS);
        const char* source = "__kernel void twice(__global float* x) { x[get_global_id(0)] *= 2.0f; }";
        cl_program program = clCreateProgramWithSource(context, 1, &source, nullptr, &err);
        EXPECT_EQ(clBuildProgram(program, 0, nullptr, "", nullptr, nullptr), CL_SUCCESS);
        twice = clCreateKernel(program, "twice", &err);
        clReleaseProgram(program);
        clSetKernelArg(twice, 0, sizeof mem, &mem);
    }
    ~sharing() {
        clReleaseKernel(twice);
        clReleaseMemObject(mem);
        clReleaseCommandQueue(queue);
        clReleaseContext(context);
    }
    std::vector<cl_context_properties> props(void* glxcontext = nullptr) const {
        const platform::nativecontext gl = platform::nativehandles(platform::currentcontext());
        return {CL_GL_CONTEXT_KHR, cl_context_properties(glxcontext ? glxcontext : gl.glxcontext),
                CL_GLX_DISPLAY_KHR, cl_context_properties(gl.display), CL_CONTEXT_PLATFORM,
                cl_context_properties(platform), 0};
    }
    void acquire() { clEnqueueAcquireGLObjects(queue, 1, &mem, 0, nullptr, nullptr); }
    void release() { clEnqueueReleaseGLObjects(queue, 1, &mem, 0, nullptr, nullptr); }
    void run() {
        const size_t n = 4;
        clEnqueueNDRangeKernel(queue, twice, 1, nullptr, &n, nullptr, 0, nullptr, nullptr);
    }
};

// One way each to break a rule, chosen by the parent through TALVO_INTEROP_RULE.
TEST_F(cltest, InteropRuleBroken) {
    const char* rule = std::getenv("TALVO_INTEROP_RULE");
    if (!rule) GTEST_SKIP() << "runs inside interop.EachRuleBrokenIsReported";
    const std::string r = rule;
    sharing s;
    float back[4] = {};
    if (r == "handles") {
        int notacontext = 0;
        cl_int err = CL_SUCCESS;
        EXPECT_EQ(clCreateContext(s.props(&notacontext).data(), 1, &s.device, nullptr, nullptr, &err), nullptr);
        EXPECT_EQ(err, CL_INVALID_GL_SHAREGROUP_REFERENCE_KHR);
        using contextinfo =
            cl_int(CL_API_CALL*)(const cl_context_properties*, cl_gl_context_info, size_t, void*, size_t*);
        const auto query = reinterpret_cast<contextinfo>(
            clGetExtensionFunctionAddressForPlatform(s.platform, "clGetGLContextInfoKHR"));
        ASSERT_NE(query, nullptr);
        cl_device_id device = nullptr;
        EXPECT_EQ(query(s.props(&notacontext).data(), CL_CURRENT_DEVICE_FOR_GL_CONTEXT_KHR, sizeof device, &device,
                        nullptr),
                  CL_INVALID_GL_SHAREGROUP_REFERENCE_KHR);
        size_t size = 0;
        EXPECT_EQ(query(s.props().data(), CL_DEVICES_FOR_GL_CONTEXT_KHR, sizeof device, &device, &size), CL_SUCCESS);
        EXPECT_EQ(size, sizeof device);
        EXPECT_EQ(device, s.device);
    } else if (r == "buffers") {
        cl_int err = CL_SUCCESS;
        GLuint empty = 0;
        glGenBuffers(1, &empty);
        glBindBuffer(GL_ARRAY_BUFFER, empty);
        for (GLuint notshared : {empty, s.buf + 1000}) {
            EXPECT_EQ(clCreateFromGLBuffer(s.context, CL_MEM_READ_WRITE, notshared, &err), nullptr);
            EXPECT_EQ(err, CL_INVALID_GL_OBJECT);
        }
        EXPECT_EQ(clCreateFromGLBuffer(s.context, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR, s.buf, &err), nullptr);
        EXPECT_EQ(err, CL_INVALID_VALUE);
        const cl_context_properties plain[] = {CL_CONTEXT_PLATFORM, cl_context_properties(s.platform), 0};
        const cl_context other = clCreateContext(plain, 1, &s.device, nullptr, nullptr, &err);
        EXPECT_EQ(clCreateFromGLBuffer(other, CL_MEM_READ_WRITE, s.buf, &err), nullptr);
        EXPECT_EQ(err, CL_INVALID_CONTEXT);
    } else if (r == "roundtrip") {
        // Acquired, doubled, released: GL has the results once a wait on the release's event returns.
        s.acquire();
        s.run();
        cl_event released = nullptr;
        ASSERT_EQ(clEnqueueReleaseGLObjects(s.queue, 1, &s.mem, 0, nullptr, &released), CL_SUCCESS);
        ASSERT_EQ(clWaitForEvents(1, &released), CL_SUCCESS);
        EXPECT_EQ(glfloats(s.buf, 4), (std::vector<float>{2, 4, 6, 8}));
    } else if (r == "unfinished") {
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof back, back);
        s.acquire();
    } else if (r == "drawn") {
        GLuint vao = 0;
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, s.buf);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        glDrawArraysInstanced(GL_POINTS, 0, 1, 1);
        s.acquire();
    } else if (r == "twice") {
        s.acquire();
        s.acquire();
    } else if (r == "notacquired") {
        s.release();
    } else if (r == "kernel") {
        s.run();
    } else if (r == "read") {
        clEnqueueReadBuffer(s.queue, s.mem, CL_TRUE, 0, sizeof back, back, 0, nullptr, nullptr);
    } else if (r == "beforefinish") {
        s.acquire();
        s.run();
        s.release();
        glfloats(s.buf, 4);
    } else if (r == "whileacquired") {
        s.acquire();
        glfloats(s.buf, 4);
    } else if (r == "deleted") {
        glDeleteBuffers(1, &s.buf);
    } else if (r == "respecified") {
        glBufferData(GL_ARRAY_BUFFER, sizeof back, back, GL_DYNAMIC_COPY);
    } else if (r == "unbound" || r == "destroyed") {
        // OpenCL shares with another context of the group, as the engine's does with the update
        // thread's. What its kernel wrote, this context sees only once it binds the buffer
        // again; and that context must outlive the OpenCL context made on it.
        GLFWwindow* other = platform::createsecondarycontext(glcontext::get().window(), 3, 3);
        ASSERT_NE(other, nullptr);
        sharing theirs(platform::nativehandles(other).glxcontext);
        glBindBuffer(GL_COPY_READ_BUFFER, theirs.buf);
        glFinish();
        theirs.acquire();
        theirs.run();
        theirs.release();
        clFinish(theirs.queue);
        if (r == "destroyed") glfwDestroyWindow(other);
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, sizeof back, back);
    } else if (r == "context") {
        s.acquire();
        clFinish(s.queue);
        clReleaseCommandQueue(s.queue);
        clReleaseContext(s.context);
    } else {
        FAIL() << "no rule " << r;
    }
}

TEST(interop, EachRuleBrokenIsReported) {
    struct rule {
        const char* name;
        const char* violation;  // empty: the child passes, the layer answering with the extension's errors
    };
    const rule rules[] = {
        {"handles", ""},
        {"buffers", ""},
        {"roundtrip", ""},
        {"unfinished", "GL work on buffer 1 not finished (glFinish on the context that issued it) before the acquire in clEnqueueAcquireGLObjects"},
        {"drawn", "GL work on buffer 1 not finished"},
        {"twice", "buffer 1 acquired while already acquired in clEnqueueAcquireGLObjects"},
        {"notacquired", "buffer 1 released while not acquired in clEnqueueReleaseGLObjects"},
        {"kernel", "buffer 1's memory object used while not acquired in clEnqueueNDRangeKernel"},
        {"read", "buffer 1's memory object used while not acquired in clEnqueueReadBuffer"},
        {"beforefinish", "GL used buffer 1 before clFinish or a wait on its release returned in glGetBufferSubData"},
        {"whileacquired", "GL used buffer 1 while OpenCL holds it in glGetBufferSubData"},
        {"deleted", "buffer 1 deleted while its memory object lives in glDeleteBuffers"},
        {"respecified", "buffer 1 re-specified while its memory object lives in glBufferData"},
        {"context", "context released while buffer 1 is acquired in clReleaseContext"},
        {"unbound", "buffer 2 read without binding it again since another context changed it in glGetBufferSubData"},
        {"destroyed", "GL context destroyed while the OpenCL context made on it lives in glXDestroyContext"},
    };
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (const rule& r : rules) {
        const auto [status, out] = shell(underinterop() + "TALVO_INTEROP_RULE=" + r.name +
                                         " '" + self + "' --gtest_filter=cltest.InteropRuleBroken 2>&1");
        if (*r.violation) {
            EXPECT_EQ(status, 86) << r.name << "\n" << out;
            EXPECT_EQ(occurrences(out, std::string("cl_khr_gl_sharing violation: ") + r.violation), 1) << out;
        } else {
            EXPECT_EQ(status, 0) << r.name << "\n" << out;
            EXPECT_EQ(occurrences(out, "[  PASSED  ] 1 test."), 1) << out;
        }
    }
}

}  // namespace
