#include "app/capture/capture.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "app/capture/capturestats.h"
#include "app/capture/frameclock.h"
#include "app/capture/framepattern.h"
#include "app/capture/outputfile.h"
#include "app/capture/pngsequence.h"
#include "app/capture/progressline.h"
#include "app/capture/runend.h"
#include "app/capture/videoencoder.h"
#include "app/capture/videomusic.h"
#include "app/framereader.h"
#include "app/loop.h"
#include "app/production.h"
#include "app/updatethread.h"
#include "diag/check.h"
#include "engine/control.h"
#include "production/demostart.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "platform/contexts.h"

namespace talvo::capture {

namespace {

// The window's close button, which GLFW records on the window: the capture stops, unfinished.
bool closed() { return glfwWindowShouldClose(primarycontext) == GLFW_TRUE; }

using stopwatch = std::chrono::steady_clock;

double millisecondssince(stopwatch::time_point start) {
    return std::chrono::duration<double, std::milli>(stopwatch::now() - start).count();
}

std::unique_ptr<framesink> makesink(const captureoptions& options) {
    if (options.kind == outputkind::video) return std::make_unique<videoencoder>(options);
    // A part's files carry their numbers in the whole range, so that the parts' files together
    // are those of one capture.
    return std::make_unique<pngsequence>(*framepattern::parse(options.output), options.width, options.height,
                                         options.part ? options.part->first : 0);
}

// Set-up. The clock starts as the real loop's does, at the first frame's moment, with starttime
// 0 (the virtual counter counts production time): the steps begin at the step that holds the
// moment, nothing before it is run. The first sync, like the real loop's first, comes before
// any step: it fires every event already due, as after a long stall, so the steps run on the
// scene of their time.
void startclock(const frameclock& clock) {
    talvo::startclock(clock.moment(0), clock.moment(0));
    syncframe();
    GLCHECKED(glFinish());
}

// The frames of a capture after startclock: the frames before the part run without being
// drawn, then the part's frames are each drawn, read back and handed to the sink in turn,
// then the drain. A frame's update steps are handed to the update thread as soon as the frame
// before has synced, so that, overlapped, they run while that frame is displayed and written.
class framerun {
public:
    framerun(demostart& production, const captureoptions& options, framesink& sink)
        : production(production),
          options(options),
          sink(sink),
          clock(options.from, options.fps),
          range(options.part ? *options.part : capturepart{1, 1, 0, options.frames}),
          timing(!options.stats.empty()),
          stats({std::begin(demostart::scenenames), std::end(demostart::scenenames)}),
          reader(options.width, options.height),
          progress(range.frames()),
          next(range.first),
          steps(!options.serial) {
        beginsteps(0);
    }

    // The part's frames made so far, and how many it has.
    int64_t done() const { return next - range.first; }
    int64_t frames() const { return range.frames(); }

    // The frames before the part: each frame's update pass and sync exactly as a capture of
    // the whole range runs them, without the display, so that the part's first frame starts
    // from the state it has there. Every frame is drawn (advance), so the part's first frame
    // repeats no picture from before it.
    void fastforward() {
        if (range.first == 0) return;
        progressline skipping(range.first, "fast-forward: ", "fast-forwarded");
        int64_t k = 0;
        for (; k < range.first && !quit && !closed(); ++k) {
            const uint32_t moment = clock.moment(k);
            advance(k);
            glfwPollEvents();
            skipping.update(k + 1, demostart::scenenames[scene()], moment);
        }
        skipping.finish(k);
        // The part's own rate and time left count from its first frame.
        progress = progressline(range.frames());
    }

    // The next frame: the update pass, the sync, the display, the read-back and the sink.
    void frame() {
        const uint32_t moment = clock.moment(next);
        if (advance(next)) {
            stopwatch::time_point start = stopwatch::now();
            displayframe();
            if (timing) {
                // The display's GL work counts, not only its calls.
                GLCHECKED(glFinish());
                stats.frame(scene(), moment, millisecondssince(start));
            }
            reader.read();
            glfwSwapBuffers(primarycontext);
            if (reader.queued() > 1) sink.write(reader.take());
        } else {
            // A frame the production does not draw keeps the previous picture on screen.
            while (reader.queued()) sink.write(reader.take());
            sink.write(reader.last());
        }
        glfwPollEvents();
        ++next;
        progress.update(done(), demostart::scenenames[scene()], moment);
    }

    // The drain: the frames still queued, the sink's end, the closing progress line and the
    // statistics file.
    void drain() {
        while (reader.queued()) sink.write(reader.take());
        sink.finish();
        progress.finish(done());
        if (timing) writefile(options.stats, stats.json());
    }

private:
    unsigned scene() const { return production.switcher().index % demostart::scenecount; }

    // The tick, relative to starttime, up to which frame k's steps run.
    uint32_t frametick(int64_t k) const { return starttime + frameclock::frametick(clock.moment(k)); }

    // The first step of frame k's update pass, handed to the update thread. The sync before
    // it has published the previous frame's vertices into the drawn buffers, so the step may
    // write the computed ones while that frame is drawn.
    void beginsteps(int64_t k) { stepto(onestep(frametick(k))); }

    // The end of the next step, or `tick` when no step is due before it: the test is strict, so
    // a lead of two steps runs one.
    uint32_t onestep(uint32_t tick) const {
        return int32_t(tick - updatetime) > int32_t(2 * steplength) ? updatetime + 2 * steplength : tick;
    }

    // Hands the update thread every step due up to the tick, each timed for the statistics.
    void stepto(uint32_t tick) {
        frametime = tick;
        steptimes.clear();
        steps.begin([this, tick] { steppass(tick, -1, timing ? &steptimes : nullptr); });
    }

    // Waits for the steps handed over, counts them, and syncs; true when the frame is drawn.
    bool finishandsync() {
        steps.finish();
        for (double ms : steptimes) stats.step(scene(), ms);
        const bool drawn = syncframe();
        GLCHECKED(glFinish());
        return drawn;
    }

    // The end of frame k's update pass, its sync, and the start of the next frame's update
    // pass; true when frame k is drawn. The virtual clock syncs after every step, as a player
    // that keeps up does: an event due between two steps (a scene's start) fires before the
    // later one runs, whatever the frame rate, instead of at the frame's sync seconds later.
    // A switch in the frame's own sync applies to the next step.
    bool advance(int64_t k) {
        const uint32_t due = frametick(k);
        bool drawn = finishandsync();
        while (!quit && int32_t(due - updatetime) > int32_t(steplength)) {
            stepto(onestep(due));
            drawn = finishandsync();
        }
        // Where the sync entered a scene that has not stepped yet, its first step runs before
        // the frame is drawn, so that every frame shows the scene of its moment rather than
        // repeating the one before. The next frames keep their clock: their steps run up to
        // their own moments, none where this one ran ahead.
        for (int extra = 0; !drawn && !quit && extra < maxsteps; ++extra) {
            stepto(updatetime + 2 * steplength);
            drawn = finishandsync();
        }
        if (windowwidth != options.width || windowheight != options.height)
            throw capturefailure("the window was resized during the capture");
        if (k + 1 < range.first + range.frames() && !quit) beginsteps(k + 1);
        return drawn;
    }

    demostart& production;
    const captureoptions& options;
    framesink& sink;
    const frameclock clock;
    const capturepart range;
    const bool timing;
    capturestats stats;
    framereader reader;
    progressline progress;
    int64_t next;  // the index in the whole range of the next frame to draw
    // The update pass in flight and its step times, which join the statistics once it ends.
    std::vector<double> steptimes;
    updatethread steps;
};

// The capture proper, between the window's opening and its closing. Returns the frames made.
int64_t captureframes(demostart& production, const captureoptions& options, framesink& sink) {
    startclock(frameclock(options.from, options.fps));
    framerun run(production, options, sink);
    run.fastforward();
    while (run.done() < run.frames() && !quit && !closed()) run.frame();
    run.drain();
    return run.done();
}

}  // namespace

int runcapture(const captureoptions& options) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        return failure("no display: run it through tools/capture.sh, which starts a virtual one");
    if (options.kind == outputkind::video && findprogram("ffmpeg").empty())
        return failure("ffmpeg not found: videos are made with ffmpeg (Debian's package ffmpeg); PNG output works without");
    if (options.kind == outputkind::video && !options.part)
        if (std::string refusal = musicrefusal(); !refusal.empty()) return failure(refusal);

    resetglobals();
    runconfig config;
    config.title = "Quellspire capture";
    config.windowmode = runconfig::windowed;
    config.width = options.width;
    config.height = options.height;
    config.samples = options.samples;
    config.vsync = false;  // frames go to files, not to a screen
    openwindow(config);
    int width = 0, height = 0;
    glfwGetFramebufferSize(primarycontext, &width, &height);
    if (width != options.width || height != options.height) {
        closewindow();
        return failure("the display gave a " + std::to_string(width) + "x" + std::to_string(height) +
                       " window instead of " + std::to_string(options.width) + "x" + std::to_string(options.height) +
                       ": use a display at least that big (tools/capture.sh makes one)");
    }
    glfwSetWindowAttrib(primarycontext, GLFW_RESIZABLE, GLFW_FALSE);
    // Closing the window ends the capture, not the production (quit).
    glfwSetWindowCloseCallback(primarycontext, nullptr);

    int status = 0;
    playproduction([&](demostart& production) {
        try {
            std::unique_ptr<framesink> sink = makesink(options);
            int64_t done = captureframes(production, options, *sink);
            if (closed()) status = failure("the window was closed after " + std::to_string(done) + " frames");
        } catch (const capturefailure& e) {
            status = failure(e.what());
        } catch (const updatethread::nothread& e) {
            status = failure(std::string("cannot start the update thread: ") + e.what());
        }
    });
    closewindow();
    return status;
}

}  // namespace talvo::capture
