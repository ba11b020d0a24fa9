#include "gl/bindings.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <map>
#include <mutex>

namespace talvo {

namespace {
// Every context's caches, by the context; entries stay where they are once made. Every handle
// dies before its context, so a destroyed context's entry names nothing, and a context that
// later gets its address starts clean.
std::mutex tablelock;
std::map<GLFWwindow*, glbindings> table;

struct lookup {
    GLFWwindow* context = nullptr;
    glbindings* found = nullptr;
};
// The calling thread's last lookup: the context changes rarely, bindings are asked for often.
thread_local lookup last;
}  // namespace

glbindings& bindings() {
    GLFWwindow* const context = glfwGetCurrentContext();
    if (!last.found || last.context != context) {
        const std::lock_guard<std::mutex> guard(tablelock);
        last = {context, &table[context]};
    }
    return *last.found;
}

void forgetprogram(GLuint program) {
    const std::lock_guard<std::mutex> guard(tablelock);
    for (auto& [context, cached] : table)
        if (cached.program == program) cached.program = 0;
}

}  // namespace talvo
