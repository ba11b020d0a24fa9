// Choosing the OpenCL device: the one the GL context runs on where a platform offers GL sharing
// (the interop layer plays such a platform), else the first GPU of the platforms in order, else
// the first device of any type, also when a platform without devices comes first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <utility>
#include <vector>

#include "cl/clcontext.h"
#include "cl/buffer.h"
#include "cl/clprogram.h"
#include "support/clfixture.h"
#include "support/process.h"
#include "support/scratchdir.h"

using namespace talvo;
using namespace testsupport;

namespace {

class devicechoice : public cltest {};

std::vector<cl_platform_id> allplatforms() {
    cl_uint count = 0;
    EXPECT_EQ(clGetPlatformIDs(0, nullptr, &count), CL_SUCCESS);
    std::vector<cl_platform_id> platforms(count);
    EXPECT_EQ(clGetPlatformIDs(count, platforms.data(), nullptr), CL_SUCCESS);
    return platforms;
}

TEST_F(devicechoice, FallsBackFromGpuToAnyDevice) {
    const std::vector<cl_platform_id> platforms = allplatforms();
    cl_platform_id platform = nullptr;
    const cl_device_id device = choosedevice(platforms, &platform);
    ASSERT_NE(device, nullptr);
    EXPECT_NE(std::find(platforms.begin(), platforms.end(), platform), platforms.end());
    cl_device_id gpu = nullptr;
    const bool anygpu = std::any_of(platforms.begin(), platforms.end(), [&](cl_platform_id p) {
        return clGetDeviceIDs(p, CL_DEVICE_TYPE_GPU, 1, &gpu, nullptr) == CL_SUCCESS;
    });
    cl_device_type type = 0;
    ASSERT_EQ(clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof(type), &type, nullptr), CL_SUCCESS);
    EXPECT_EQ((type & CL_DEVICE_TYPE_GPU) != 0, anygpu);

    EXPECT_EQ(choosedevice({}, &platform), nullptr);
    EXPECT_FALSE(hasextension(device, "cl_khr_gl_sharin"));  // whole words only
}

// Run in a child process (see below), whose loader lists a driver without devices first.
TEST_F(devicechoice, SkipsAPlatformWithoutDevices) {
    if (!std::getenv("TALVO_EMPTY_PLATFORM_FIRST")) GTEST_SKIP() << "runs inside PassesOverAnEmptyFirstPlatform";
    const std::vector<cl_platform_id> platforms = allplatforms();
    ASSERT_GE(platforms.size(), 2u);
    cl_device_id none = nullptr;
    ASSERT_EQ(clGetDeviceIDs(platforms[0], CL_DEVICE_TYPE_ALL, 1, &none, nullptr), CL_DEVICE_NOT_FOUND);

    const CLProgram program("__kernel void a(__global float* x){ x[0] = 1; }", cloptions);
    ASSERT_NE(CLContext::instance(), nullptr);
    cl_platform_id platform = nullptr;
    ASSERT_EQ(clGetDeviceInfo(CLContext::instance()->device(), CL_DEVICE_PLATFORM, sizeof(platform), &platform,
                              nullptr),
              CL_SUCCESS);
    EXPECT_NE(platform, platforms[0]);
}

TEST_F(devicechoice, PassesOverAnEmptyFirstPlatform) {
    // The loader reads its drivers from a folder of our own: the empty one first, then the
    // machine's, listed in folder order.
    const testsupport::scratchdir dir;
    std::ofstream(dir.path() / "0-empty.icd") << EMPTYICD << "\n";
    const char* vendors = std::getenv("OCL_ICD_VENDORS");
    int n = 1;
    for (const auto& entry : std::filesystem::directory_iterator(vendors ? vendors : "/etc/OpenCL/vendors"))
        if (entry.path().extension() == ".icd")
            std::filesystem::copy_file(entry.path(), dir.path() / (std::to_string(n++) + "-" + entry.path().filename().string()));

    const std::string command = "TALVO_EMPTY_PLATFORM_FIRST=1 OCL_ICD_PLATFORM_SORT=none OCL_ICD_VENDORS='" +
                                dir.path().string() + "' '" + std::filesystem::read_symlink("/proc/self/exe").string() +
                                "' --gtest_filter=devicechoice.SkipsAPlatformWithoutDevices 2>&1";
    const auto [status, out] = shell(command);
    EXPECT_EQ(status, 0) << out;
    // Every platform of the machine (PoCL here; Mesa's Clover and rusticl elsewhere) and the
    // empty one.
    const std::string count = "Platform count: " + std::to_string(allplatforms().size() + 1) + "\n";
    EXPECT_EQ(occurrences(out, count), 1) << out;
    EXPECT_EQ(occurrences(out, "[  PASSED  ] 1 test."), 1) << out;
}

// Run in a child under the interop layer (below), with two PoCL devices: a kernel writes a GL
// buffer, and the child says which device the context took.
TEST_F(devicechoice, SharesThroughTheDeviceGLRunsOn) {
    if (!std::getenv("TALVO_INTEROP_DEVICE"))
        GTEST_SKIP() << "runs inside TakesTheDeviceGLRunsOn and NoDeviceForTheGLContextMapsTheBuffersInstead";
    const CLProgram program("__kernel void one(__global float* x){ x[get_global_id(0)] = 1; }", cloptions);
    Buffer<float> buffer;
    buffer.allocate(4);
    CLProgram run = program;
    run.createKernel("one");
    run.setArg("one", 0, buffer);
    run.run("one", 4, true);
    EXPECT_EQ(glfloats(buffer.buf(), 4), (std::vector<float>{1, 1, 1, 1}));
    cl_platform_id platform = nullptr;
    ASSERT_EQ(clGetDeviceInfo(CLContext::instance()->device(), CL_DEVICE_PLATFORM, sizeof platform, &platform, nullptr),
              CL_SUCCESS);
    cl_device_id devices[2] = {};
    ASSERT_EQ(clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 2, devices, nullptr), CL_SUCCESS);
    std::cout << "device " << (CLContext::instance()->device() == devices[1] ? 1 : 0) << "\n";
}

std::pair<int, std::string> underthelayer(const std::string& device) {
    const auto [status, out] = shell(underinterop() + "POCL_DEVICES='pthread pthread' " +
                                     "TALVO_INTEROP_DEVICE=" + device + " '" +
                                     std::filesystem::read_symlink("/proc/self/exe").string() +
                                     "' --gtest_filter=devicechoice.SharesThroughTheDeviceGLRunsOn 2>&1");
    return {status, out};
}

// A hybrid laptop: GL runs on the second device, and sharing with the first would fail.
TEST_F(devicechoice, TakesTheDeviceGLRunsOn) {
    const auto [status, out] = underthelayer("1");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(occurrences(out, ": GL buffers shared natively (cl_khr_gl_sharing)\n"), 1) << out;
    EXPECT_EQ(occurrences(out, "device 1\n"), 1) << out;
    EXPECT_EQ(occurrences(out, "[  PASSED  ] 1 test."), 1) << out;
}

// Sharing offered, but not for this GL context: the buffers are mapped instead, and a line says why.
TEST_F(devicechoice, NoDeviceForTheGLContextMapsTheBuffersInstead) {
    const auto [status, out] = underthelayer("none");
    EXPECT_EQ(status, 0) << out;
    const std::string why = "OpenCL: cl_khr_gl_sharing is offered, but no device shares buffers with this GL context\n";
    EXPECT_EQ(occurrences(out, why), 1) << out;
    EXPECT_EQ(occurrences(out, ": GL buffers shared through persistent mappings (no cl_khr_gl_sharing)\n"), 1) << out;
    EXPECT_EQ(occurrences(out, "device 0\n"), 1) << out;
    EXPECT_EQ(occurrences(out, "[  PASSED  ] 1 test."), 1) << out;
}

}  // namespace
