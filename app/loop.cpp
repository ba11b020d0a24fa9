#include "app/loop.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "diag/fatal.h"
#include "app/music.h"
#include "app/stopsignal.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "platform/contexts.h"

namespace talvo {

namespace {
// Never destroyed: an exit() from a library (Xlib's default error handlers call it) must not
// destroy the condition the update thread is waiting on.
std::mutex& lock = *new std::mutex;
std::condition_variable& cond = *new std::condition_variable;
// Frames handed over so far; the update thread sleeps until it changes or quit is set, so a
// wake-up given while it was busy is never lost (a lost one at shut-down would hang the join).
uint64_t handovers = 0;
// Set on the render thread by Escape, the close button and a stop signal; never cleared, since the run ends.
bool stopped = false;
}  // namespace

uint32_t firststep(uint32_t from) { return from - from % steplength; }

void startclock(uint32_t now, uint32_t from) {
    starttime = now - from;
    frametime = updatetime = prevupdatetime = starttime + firststep(from);
}

bool stoppedbyviewer() { return stopped; }

int runsteps(uint32_t frame, uint32_t& updated, int limit, const std::function<void()>& step) {
    // The lead as a signed difference: wraps with the counter, and a frame behind the steps
    // (a capture's first frame may have stepped ahead) runs none instead of four billion.
    const auto lead = [&] { return int32_t(frame - updated); };
    int steps = 0;
    while (lead() > int32_t(steplength) && (limit < 0 || steps < limit)) {
        step();
        updated += steplength;
        ++steps;
    }
    if (lead() > int32_t(steplength)) updated = frame - steplength;
    return steps;
}

bool syncframe() {
    const bool drawn = current->sync();
    prevupdatetime = updatetime;
    return drawn;
}

void displayframe() {
    current->display();
    glcheck("tail of current->display() (This probably indicates an error in display or update.)");
}

bool beginframe() {
    bool result = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (glfwGetKey(primarycontext, GLFW_KEY_ESCAPE) == GLFW_PRESS || stopsignal() != 0) {
            quit = stopped = true;
        } else {
            result = syncframe();
            frametime = gettickcount();
            glFinish();
        }
        ++handovers;
    }
    cond.notify_one();
    return result;
}

void updatethread(uint32_t from) {
    endonfatal([from] {
        glfwMakeContextCurrent(secondarycontext);
        playmusic(from);
        uint64_t seen = 0;
        while (!quit) {
            std::unique_lock<std::mutex> guard(lock);
            // Once the run is ending, the rest of a backlog is not worth computing: a slow step
            // times ten would keep Escape waiting for seconds.
            runsteps(frametime, updatetime, maxsteps, [] {
                if (!quit) current->update();
            });
            seen = handovers;
            cond.wait(guard, [&] { return quit || handovers != seen; });
        }
        glfwMakeContextCurrent(nullptr);
    });
}

int onclose() {
    quit = stopped = true;
    return 0;
}

void mainloop(uint32_t from) {
    // The standard library's mutex and condition cannot fail to be created, so "Could not
    // create mutex or cond, aborting." has no cause here; only the thread can fail.
    glfwSetTime(0.0);
    startclock(gettickcount(), from);
    const stopsignals catching;

    std::thread updater;
    try {
        updater = std::thread(updatethread, from);
    } catch (const std::system_error&) {
        std::cout << "Could not create auxiliary thread, aborting." << std::endl;
        return;
    }
    std::cout << "Talvo initialized! Rock on!" << std::endl;

    // A failed check on this thread ends the process at once, as on the update thread: the
    // updater must not outlive a loop that unwinds past it.
    endonfatal([] {
        while (!quit) {
            if (beginframe()) {
                displayframe();
                glfwSwapBuffers(primarycontext);
            }
            // GLFW 3 processes window events (keys, resize, close) only when asked.
            glfwPollEvents();
        }
    });

    { std::lock_guard<std::mutex> guard(lock); }
    cond.notify_one();
    updater.join();
}

}  // namespace talvo
