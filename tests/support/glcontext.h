#pragma once
// A real GL context for tests: one hidden GLFW window with a GL 3.3 core, forward-compatible
// context, opened on first use and kept until the test program ends. It is current on the
// calling thread and the engine's window size is set to its size.
//
//   class mytest : public talvo::testsupport::gltest {};   // every test gets the context
//   GLFWwindow* w = talvo::testsupport::glcontext::get().window();
//
// Needs a display (DISPLAY pointing at a running X server, e.g. Xvfb).
#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "engine/globals.h"
#include "platform/contexts.h"

namespace talvo::testsupport {

class glcontext {
public:
    static constexpr int defaultwidth = 64;
    static constexpr int defaultheight = 48;

    // The first call opens the window with the given size; later calls return the same
    // context whatever they ask for.
    static glcontext& get(int width = defaultwidth, int height = defaultheight) {
        static glcontext context(width, height);
        return context;
    }

    // Null when the window could not be opened; error() then says why.
    GLFWwindow* window() const { return win; }
    const std::string& error() const { return failure; }
    int width() const { return w; }
    int height() const { return h; }

    glcontext(const glcontext&) = delete;
    glcontext& operator=(const glcontext&) = delete;

private:
    glcontext(int width, int height) : w(width), h(height) {
        glfwSetErrorCallback([](int, const char* description) {
            std::cerr << "GLFW: " << description << "\n";
        });
        if (!glfwInit()) {
            failure = "glfwInit failed (is DISPLAY set to a running X server?)";
            return;
        }
        win = talvo::platform::createhiddencontext(width, height, "talvo tests", nullptr);
        if (!win) {
            failure = "no GL 3.3 core window could be opened";
            glfwTerminate();
            return;
        }
        glfwMakeContextCurrent(win);
        windowwidth = width;
        windowheight = height;
    }
    ~glcontext() {
        if (!win) return;
        glfwDestroyWindow(win);
        glfwTerminate();
    }

    GLFWwindow* win = nullptr;
    std::string failure;
    int w;
    int h;
};

// Fixture base for tests that need the context; a test fails at once when there is none.
class gltest : public ::testing::Test {
protected:
    void SetUp() override {
        const glcontext& context = glcontext::get();
        ASSERT_NE(context.window(), nullptr) << context.error();
    }
};

}  // namespace talvo::testsupport
