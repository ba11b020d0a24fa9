#pragma once
// The two GL contexts of a run. The primary context belongs to the production window and
// stays current on the render thread; the secondary context belongs to a hidden window that
// shares every object with the primary one and is current on the update thread.
#include <string>

struct GLFWwindow;

namespace talvo {

extern GLFWwindow* primarycontext;
extern GLFWwindow* secondarycontext;

namespace platform {

// The hints every context of the engine is made with: core profile, forward compatible,
// version glmajor.glminor; a debug context, whose messages the GL checks report
// (diag/check.h), when TALVO_GL_DEBUG=1. The caller adds its own (size, samples, visibility)
// afterwards.
void contexthints(int glmajor, int glminor);

// Creates a hidden window whose context has the engine's hints (core profile, forward
// compatible, version glmajor.glminor), sharing objects with `share` when it is not null.
// Null when the context cannot be created. Leaves the calling thread's current context
// unchanged. Tests and benchmarks draw into such windows too.
GLFWwindow* createhiddencontext(int width, int height, const char* title, GLFWwindow* share,
                                int glmajor = 3, int glminor = 3);

// The hidden window of the secondary context, sharing objects with `primary`.
GLFWwindow* createsecondarycontext(GLFWwindow* primary, int glmajor, int glminor);

// True when an object made on `primary` is visible from `secondary`. Leaves `primary` current.
bool contextsshare(GLFWwindow* primary, GLFWwindow* secondary);

// The longest side of a window: X gives a window's width and height 16 bits, and a larger
// size would wrap round to another.
constexpr int maxwindowside = 65535;

// Hands a lost X connection, or an X error outside GLFW's own calls (the window destroyed from
// outside), to `onlost` with a few words on what happened. `onlost` must end the process and
// not return: Xlib's own handlers call exit(), which runs static destructors under threads
// that are still running. Call after GLFW is initialised. Nothing here ends the process itself.
void handledisplayerrors(void (*onlost)(const std::string& why));

// The native handles OpenCL needs to share objects with a GL context: the GLX context of
// `context` and the X display it lives on.
struct nativecontext {
    void* glxcontext;
    void* display;
};
nativecontext nativehandles(GLFWwindow* context);
// The context current on the calling thread, or null.
GLFWwindow* currentcontext();

}  // namespace platform
}  // namespace talvo
