#pragma once
// The render loop and the fixed-step update thread. The render thread draws as fast as
// buffer swaps allow; the update thread (app/updatethread.h) advances the current state in
// 25 ms steps of tick counter time up to the time stamp of the latest frame. They meet once
// per frame, in beginframe.
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

struct GLFWwindow;

namespace talvo {

class maker;

// What the window's callbacks report, kept in the window itself (GLFW's user pointer) from
// openwindow to closewindow for the render thread to take at its next frame.
struct windowreports {
    // The latest size no syncframe has published yet: the update thread never sees it change
    // under it.
    std::optional<std::pair<int, int>> size;
    // Maker mode, while it is on: its keys and exposures.
    maker* making = nullptr;
};
// The window's reports; null for a window that keeps none (one a test opened by itself).
windowreports* reportsof(GLFWwindow* window);

// Runs the production from `from` milliseconds of production time until quit is set (Escape,
// the close button, SIGINT or SIGTERM, the last state, or a seek of maker mode, which is lent
// here when it is on and goes by its clock). The music starts `from` milliseconds in, on the
// update thread.
void mainloop(uint32_t from, maker* making = nullptr);
// Starts the production clock at `from` milliseconds of production time, the tick counter
// reading `now`: starttime lies `from` before now, so that production time and music started
// at `from` keep in step, and the fixed steps begin at firststep(from), the steps before it
// never run. The first sync then fires every event already due at once, as after a long
// stall, so each scene is entered with its own events caught up.
void startclock(uint32_t now, uint32_t from);
// The start of the 25 ms step that holds `from`.
uint32_t firststep(uint32_t from);
// True once Escape, the close button or a stop signal has ended the run, as opposed to its last
// state.
bool stoppedbyviewer();
class updatethread;
// The render thread's hand-over: waits for the update pass in flight, syncs, takes the frame's
// time stamp and hands `updates` the pass up to it; true when this frame is drawn. In maker
// mode, the maker's keys and saves first (a held picture nothing changed is not synced).
bool beginframe(updatethread& updates, maker* making);
// The two halves of a frame that the real-time loop and the capture share. syncframe (no
// update pass running): a window size reported since the last frame is published through
// onresize, the current state publishes, fires due events and may switch, and the frame
// records the update clock it shows; true when the frame is drawn.
// displayframe: draws the current state into the window and checks for GL errors.
bool syncframe();
void displayframe();
// The window-close callback: ends the run through quit. The window stays open, marked by GLFW
// as closing.
void onclose();

// The most steps one update pass runs; a longer backlog is dropped.
constexpr int maxsteps = 10;

// Runs `step` once per 25 ms that `frame` is ahead of `updated`, strictly (a lead of exactly
// 25 runs nothing; a frame behind `updated` runs nothing either), advancing `updated` by 25 each
// time, at most `limit` times. A backlog left after `limit` steps is dropped: `updated` jumps to
// `frame` - 25. A negative limit runs every due step. Wrapping 32-bit arithmetic throughout. Returns the number of steps run.
int runsteps(uint32_t frame, uint32_t& updated, int limit, const std::function<void()>& step);
// An update pass of the current state up to `frame`: runsteps on updatetime, each step timed
// in milliseconds into `times` when it is given (cleared first). The player and the capture
// alike run their passes through it.
int steppass(uint32_t frame, int limit, std::vector<double>* times);

}  // namespace talvo
