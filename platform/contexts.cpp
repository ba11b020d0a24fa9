#include "platform/contexts.h"

#include <epoxy/gl.h>
#include <epoxy/glx.h>
#include <GLFW/glfw3.h>
// The native declarations name RandR types.
#include <X11/extensions/Xrandr.h>
#define GLFW_EXPOSE_NATIVE_X11
#define GLFW_EXPOSE_NATIVE_GLX
#define GLFW_NATIVE_INCLUDE_NONE
#include <GLFW/glfw3native.h>

#include <cstdlib>
#include <string>

namespace talvo {

GLFWwindow* primarycontext = nullptr;
GLFWwindow* secondarycontext = nullptr;

namespace platform {

namespace {

// Read once, so that all contexts of a run are alike.
bool debugcontexts() {
    static const bool on = [] {
        const char* value = std::getenv("TALVO_GL_DEBUG");
        return value && std::string(value) == "1";
    }();
    return on;
}

}  // namespace

void contexthints(int glmajor, int glminor) {
    glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, debugcontexts() ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, glmajor);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, glminor);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
}

GLFWwindow* createhiddencontext(int width, int height, const char* title, GLFWwindow* share, int glmajor,
                                int glminor) {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    contexthints(glmajor, glminor);
    return glfwCreateWindow(width, height, title, nullptr, share);
}

GLFWwindow* createsecondarycontext(GLFWwindow* primary, int glmajor, int glminor) {
    // GLFW shares objects when the context is created, so there is no separate share step.
    return createhiddencontext(1, 1, "", primary, glmajor, glminor);
}

bool contextsshare(GLFWwindow* primary, GLFWwindow* secondary) {
    glfwMakeContextCurrent(primary);
    GLuint probe = 0;
    glGenBuffers(1, &probe);
    glBindBuffer(GL_ARRAY_BUFFER, probe);  // a buffer object exists once it is bound
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glFinish();
    glfwMakeContextCurrent(secondary);
    const bool shared = glIsBuffer(probe) == GL_TRUE;
    glfwMakeContextCurrent(primary);
    glDeleteBuffers(1, &probe);
    return shared;
}

namespace {

void (*lost)(const std::string& why) = nullptr;

int onioerror(Display*) {
    lost("the connection to the X server was closed");
    return 0;
}

int onxerror(Display* display, XErrorEvent* error) {
    char text[256] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    lost(std::string("X error: ") + text + ", request " + std::to_string(int(error->request_code)));
    return 0;
}

}  // namespace

void handledisplayerrors(void (*onlost)(const std::string& why)) {
    lost = onlost;
    XSetIOErrorHandler(onioerror);
    XSetErrorHandler(onxerror);
}

nativecontext nativehandles(GLFWwindow* context) {
    return {reinterpret_cast<void*>(glfwGetGLXContext(context)), glfwGetX11Display()};
}

GLFWwindow* currentcontext() {
    return glfwGetCurrentContext();
}

}  // namespace platform
}  // namespace talvo
