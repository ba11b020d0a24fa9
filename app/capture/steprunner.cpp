#include "app/capture/steprunner.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <system_error>
#include <utility>

#include "app/capture/framesink.h"
#include "diag/check.h"
#include "platform/contexts.h"

namespace talvo::capture {

steprunner::steprunner(bool overlapped) : overlapped(overlapped) {
    if (!overlapped) return;
    try {
        thread = std::thread([this] { serve(); });
    } catch (const std::system_error& e) {
        throw capturefailure(std::string("cannot start the update thread: ") + e.what());
    }
}

steprunner::~steprunner() {
    if (!overlapped) return;
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return !pending; });
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void steprunner::begin(std::function<void()> steps) {
    {
        std::lock_guard<std::mutex> guard(lock);
        batch = std::move(steps);
        pending = true;
    }
    if (overlapped) changed.notify_all();
}

void steprunner::finish() {
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

void steprunner::serve() {
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

void steprunner::run() {
    try {
        batch();
        // What the steps drew on the update context is complete before the render context uses it.
        GLCHECKED(glFinish());
    } catch (...) {
        failure = std::current_exception();
    }
    batch = nullptr;
}

}  // namespace talvo::capture
