#include "app/updatethread.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <system_error>
#include <utility>

#include "diag/check.h"
#include "platform/contexts.h"

namespace talvo {

updatethread::updatethread(bool overlapped) : overlapped(overlapped) {
    if (!overlapped) return;
    try {
        thread = std::thread([this] { serve(); });
    } catch (const std::system_error& e) {
        throw nothread(e.what());
    }
}

updatethread::~updatethread() {
    if (!overlapped) return;
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return !pending; });
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void updatethread::begin(std::function<void()> next) {
    {
        std::lock_guard<std::mutex> guard(lock);
        pass = std::move(next);
        pending = true;
    }
    if (overlapped) changed.notify_all();
}

void updatethread::finish() {
    if (overlapped) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return !pending; });
    } else if (pending) {
        glfwMakeContextCurrent(secondarycontext);
        run();
        glfwMakeContextCurrent(primarycontext);
        pending = false;
    }
    if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
}

void updatethread::serve() {
    glfwMakeContextCurrent(secondarycontext);
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return pending || stopping; });
        if (!pending) break;
        guard.unlock();
        run();
        guard.lock();
        pending = false;
        changed.notify_all();
    }
    glfwMakeContextCurrent(nullptr);
}

void updatethread::run() {
    try {
        pass();
        // What the pass drew on the update context is complete before the render context uses it.
        GLCHECKED(glFinish());
    } catch (...) {
        failure = std::current_exception();
    }
    pass = nullptr;
}

}  // namespace talvo
