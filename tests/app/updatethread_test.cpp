// The update thread that the player and the capture share, overlapped and serial, on the real
// shared contexts of a window (Mesa under Xvfb).
#include <gtest/gtest.h>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/production.h"
#include "app/updatethread.h"
#include "diag/check.h"
#include "diag/exceptions.h"
#include "platform/contexts.h"
#include "support/appwindow.h"

using talvo::updatethread;

namespace {

class UpdateThread : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() { talvo::testsupport::openappwindow("update thread tests", 32, 24); }
    static void TearDownTestSuite() { talvo::closewindow(); }
};

}  // namespace

// Passes write a buffer the render context made; once finish() returns, the render context
// reads what they wrote, and it is current again.
TEST_P(UpdateThread, PassesRunOnTheSecondaryContextAndAreCompleteAtFinish) {
    const bool overlapped = GetParam();
    GLuint buf = 0;
    glGenBuffers(1, &buf);
    glBindBuffer(GL_ARRAY_BUFFER, buf);
    glBufferData(GL_ARRAY_BUFFER, 1 << 20, nullptr, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glFinish();

    const std::thread::id render = std::this_thread::get_id();
    GLFWwindow* context = nullptr;
    bool onrender = true;
    {
        updatethread updates(overlapped);
        for (int pass = 1; pass <= 3; ++pass) {
            updates.begin([&, pass] {
                context = glfwGetCurrentContext();
                onrender = std::this_thread::get_id() == render;
                const std::vector<float> values(1 << 18, float(pass));
                GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buf));
                GLCHECKED(glBufferSubData(GL_ARRAY_BUFFER, 0, 1 << 20, values.data()));
                GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, 0));
            });
            updates.finish();
            EXPECT_EQ(context, talvo::secondarycontext);
            EXPECT_EQ(onrender, !overlapped);
            EXPECT_EQ(glfwGetCurrentContext(), talvo::primarycontext);
            float last = 0;
            glBindBuffer(GL_ARRAY_BUFFER, buf);
            glGetBufferSubData(GL_ARRAY_BUFFER, (1 << 20) - sizeof last, sizeof last, &last);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            EXPECT_EQ(last, float(pass));
        }
    }
    glDeleteBuffers(1, &buf);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A failed check in a pass prints its line and reaches the render thread at finish(), which
// ends the run as a failure there would; later passes still run.
TEST_P(UpdateThread, AFailedCheckInAPassIsThrownByFinish) {
    updatethread updates(GetParam());
    testing::internal::CaptureStderr();
    updates.begin([] { GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, 987654321)); });
    EXPECT_THROW(updates.finish(), talvo::Log::GLException);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("glBindBuffer(GL_ARRAY_BUFFER, 987654321)"), std::string::npos) << err;

    bool ran = false;
    updates.begin([&] { ran = true; });
    EXPECT_NO_THROW(updates.finish());
    EXPECT_TRUE(ran);
}

// A run that fails on the render thread unwinds past a pass still running: it ends first.
TEST_P(UpdateThread, EndingWithAPassInFlightWaitsForIt) {
    std::atomic<bool> done{false};
    {
        updatethread updates(GetParam());
        updates.begin([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            done = true;
        });
    }
    EXPECT_EQ(done, GetParam()) << "a serial pass runs only in finish()";
}

INSTANTIATE_TEST_SUITE_P(OverlappedAndSerial, UpdateThread, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "overlapped" : "serial"; });
