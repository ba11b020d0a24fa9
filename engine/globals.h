#pragma once
// Process-wide engine values shared by the loop, the states and the GL layer.
#include <atomic>
#include <cstdint>

namespace talvo {

// Window size in pixels as onresize last published it, never while an update pass runs.
extern int windowwidth;
extern int windowheight;

// Set by Escape, the close button or the production's last state; read by both threads.
extern std::atomic<bool> quit;

// Engine clocks, in milliseconds of the 32-bit tick counter (they wrap like it does).
extern uint32_t starttime;       // tick at which the loop started
extern uint32_t frametime;       // tick taken at the latest frame hand-over
extern uint32_t updatetime;      // tick up to which fixed steps have run (+25 per step)
extern uint32_t prevupdatetime;  // updatetime as it stood at the latest frame hand-over

// Production time in milliseconds: updatetime - starttime, in wrapping 32-bit arithmetic.
inline uint32_t productiontime() { return updatetime - starttime; }
// The production time that the latest sync published, which display and the next pass both
// read: prevupdatetime - starttime.
inline uint32_t publishedtime() { return prevupdatetime - starttime; }

// Length of one fixed update step in milliseconds.
constexpr uint32_t steplength = 25;

}  // namespace talvo
