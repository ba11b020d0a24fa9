// The capture's update steps on their own thread and serially, on the real shared contexts of
// a window (Mesa under Xvfb).
#include <gtest/gtest.h>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/capture/steprunner.h"
#include "app/production.h"
#include "diag/check.h"
#include "diag/exceptions.h"
#include "platform/contexts.h"

using namespace talvo::capture;

namespace {

class StepRunner : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        talvo::resetglobals();
        talvo::runconfig config;
        config.title = "step runner tests";
        config.windowmode = 0;
        config.width = 32;
        config.height = 24;
        config.vsync = false;
        talvo::openwindow(config);
    }
    static void TearDownTestSuite() { talvo::closewindow(); }
};

}  // namespace

// Steps write a buffer the render context made; once finish() returns, the render context
// reads what they wrote, and it is current again.
TEST_P(StepRunner, StepsRunOnTheSecondaryContextAndAreCompleteAtFinish) {
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
        steprunner steps(overlapped);
        for (int batch = 1; batch <= 3; ++batch) {
            steps.begin([&, batch] {
                context = glfwGetCurrentContext();
                onrender = std::this_thread::get_id() == render;
                const std::vector<float> values(1 << 18, float(batch));
                GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buf));
                GLCHECKED(glBufferSubData(GL_ARRAY_BUFFER, 0, 1 << 20, values.data()));
                GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, 0));
            });
            steps.finish();
            EXPECT_EQ(context, talvo::secondarycontext);
            EXPECT_EQ(onrender, !overlapped);
            EXPECT_EQ(glfwGetCurrentContext(), talvo::primarycontext);
            float last = 0;
            glBindBuffer(GL_ARRAY_BUFFER, buf);
            glGetBufferSubData(GL_ARRAY_BUFFER, (1 << 20) - sizeof last, sizeof last, &last);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            EXPECT_EQ(last, float(batch));
        }
    }
    glDeleteBuffers(1, &buf);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A failed check in the steps prints its line and reaches the render thread at finish(), which
// ends the capture as a failure there would; later batches still run.
TEST_P(StepRunner, AFailedCheckInTheStepsIsThrownByFinish) {
    steprunner steps(GetParam());
    testing::internal::CaptureStderr();
    steps.begin([] { GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, 987654321)); });
    EXPECT_THROW(steps.finish(), talvo::Log::GLException);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("glBindBuffer(GL_ARRAY_BUFFER, 987654321)"), std::string::npos) << err;

    bool ran = false;
    steps.begin([&] { ran = true; });
    EXPECT_NO_THROW(steps.finish());
    EXPECT_TRUE(ran);
}

// A capture that fails on the render thread unwinds past steps still running: they end first.
TEST_P(StepRunner, EndingWithStepsInFlightWaitsForThem) {
    std::atomic<bool> done{false};
    {
        steprunner steps(GetParam());
        steps.begin([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            done = true;
        });
    }
    EXPECT_EQ(done, GetParam()) << "serial steps run only in finish()";
}

INSTANTIATE_TEST_SUITE_P(OverlappedAndSerial, StepRunner, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "overlapped" : "serial"; });
