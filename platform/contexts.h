#pragma once
// The two GL contexts of a run. The primary context belongs to the production window and
// stays current on the render thread; the secondary context belongs to a hidden window that
// shares every object with the primary one and is current on the update thread.
struct GLFWwindow;

namespace talvo {

extern GLFWwindow* primarycontext;
extern GLFWwindow* secondarycontext;

namespace platform {

// Creates the hidden window of the secondary context with the same 3.3 core,
// forward-compatible hints as the window (the requested version is glmajor.glminor), sharing
// objects with `primary`. Null when the context cannot be created. Leaves the calling
// thread's current context unchanged.
GLFWwindow* createsecondarycontext(GLFWwindow* primary, int glmajor, int glminor);

// True when an object made on `primary` is visible from `secondary`. Leaves `primary` current.
bool contextsshare(GLFWwindow* primary, GLFWwindow* secondary);

}  // namespace platform
}  // namespace talvo
