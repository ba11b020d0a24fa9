#include "app/loop.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <iostream>
#include <optional>

#include "app/maker.h"
#include "app/music.h"
#include "app/stopsignal.h"
#include "app/updatethread.h"
#include "diag/check.h"
#include "diag/fatal.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "platform/contexts.h"
#include "platform/tickcount.h"

namespace talvo {

namespace {
// Escape and a stop signal end the run as the close button does: the window is marked as
// closing (GLFW marks it for the button), which tells a viewer's stop from the production's end.
void stop() {
    glfwSetWindowShouldClose(primarycontext, GLFW_TRUE);
    quit = true;
}
// The clock a run goes by: maker mode's when it is on (it stands while held), else the tick
// counter.
uint32_t now(const maker* making) { return making ? making->tick() : platform::tickcount(); }

// One update pass: every step due up to the latest frame's time stamp, at most maxsteps, timed
// into `figures` when maker mode wants them.
void updatepass(passfigures* figures) {
    const uint32_t from = updatetime;
    const int run = steppass(frametime, maxsteps, figures ? &figures->steps : nullptr);
    if (figures) figures->dropped = updatetime - from != uint32_t(run) * steplength;
}
}  // namespace

uint32_t firststep(uint32_t from) { return from - from % steplength; }

void startclock(uint32_t now, uint32_t from) {
    starttime = now - from;
    frametime = updatetime = prevupdatetime = starttime + firststep(from);
}

bool stoppedbyviewer() { return glfwWindowShouldClose(primarycontext) == GLFW_TRUE; }

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

int steppass(uint32_t frame, int limit, std::vector<double>* times) {
    using stopwatch = std::chrono::steady_clock;
    if (times) times->clear();
    return runsteps(frame, updatetime, limit, [times] {
        const stopwatch::time_point start = stopwatch::now();
        // Once the run is ending, the rest of a backlog is not worth computing: a slow step
        // times ten would keep Escape waiting for seconds.
        if (!quit) current->update();
        if (times) times->push_back(std::chrono::duration<double, std::milli>(stopwatch::now() - start).count());
    });
}

windowreports* reportsof(GLFWwindow* window) {
    return window ? static_cast<windowreports*>(glfwGetWindowUserPointer(window)) : nullptr;
}

bool syncframe() {
    if (windowreports* reports = reportsof(primarycontext); reports && reports->size) {
        onresize(reports->size->first, reports->size->second);
        reports->size.reset();
    }
    const bool drawn = current->sync();
    prevupdatetime = updatetime;
    return drawn;
}

void displayframe() {
    current->display();
    glcheck("tail of current->display() (This probably indicates an error in display or update.)");
}

bool beginframe(updatethread& updates, maker* making) {
    updates.finish();
    if (glfwGetKey(primarycontext, GLFW_KEY_ESCAPE) == GLFW_PRESS || stopsignal() != 0) {
        stop();
        return false;
    }
    if (making) switch (making->beforesync()) {
            case maker::frame::draw: break;
            case maker::frame::still: return false;
            case maker::frame::seek:
                // The production is built afresh from the seek's time.
                quit = true;
                return false;
        }
    const bool drawn = syncframe();
    if (making) making->aftersync(drawn);
    frametime = now(making);
    glFinish();
    updates.begin([figures = making ? &making->lastpass() : nullptr] { updatepass(figures); });
    return drawn;
}

void onclose() { quit = true; }

void mainloop(uint32_t from, maker* making) {
    // The standard library's mutex and condition cannot fail to be created, so "Could not
    // create mutex or cond, aborting." has no cause here; only the thread can fail.
    glfwSetTime(0.0);
    startclock(now(making), from);
    if (making) making->passstarted(from);
    const stopsignals catching;

    std::optional<updatethread> updates;
    try {
        updates.emplace();
    } catch (const updatethread::nothread&) {
        // Returning would tear down and end with status 0, a failure reported as success.
        fatal(std::cout, "Could not create auxiliary thread, aborting.");
    }
    std::cout << "Talvo initialized! Rock on!" << std::endl;

    // A failed check on either thread ends the process at once: the update thread's failure
    // reaches this thread at the next hand-over, and the updater must not outlive a loop that
    // unwinds past it.
    endonfatal([&] {
        updates->begin([from, paused = making && making->held()] { playmusic(from, paused); });
        while (!quit) {
            if (beginframe(*updates, making)) {
                displayframe();
                if (making) making->afterdisplay();
                glfwSwapBuffers(primarycontext);
            }
            // GLFW 3 processes window events (keys, resize, close) only when asked.
            glfwPollEvents();
        }
        updates->finish();
    });
}

}  // namespace talvo
