#pragma once
#include <functional>

#include "app/runconfig.h"

namespace talvo {

// Brings up the music (unless muted), the window and its two GL contexts and the GL entry
// points, runs the production to its end, or pass after pass while it loops, and tears
// everything down in reverse. Can end the process (status 1, diag/fatal.h): a start-up
// failure with its one line on standard output, a failed check or a lost display with theirs
// on standard error.
void runproduction(runconfig config);

// The pieces of start-up that a run without the real-time loop (the capture tool) shares:
// resetglobals() puts the engine globals in their start state with the real tick counter;
// openwindow() opens the window with its primary and secondary contexts, checks the GL
// version and reports it (can end the process: a failure prints its line on standard output
// and ends it with status 1, and so does a display lost from then on, on standard error);
// closewindow() lets OpenCL release what it shares with GL (the cached kernel programs, and
// with the last program the OpenCL context), then destroys both contexts and ends GLFW.
void resetglobals();
void openwindow(const runconfig& config);
void closewindow();

class demostart;
// Constructs the production (every scene), makes it current,
// runs `body` on it, then makes nothing current and destroys it. A fatal error thrown by `body` leaves the production in
// place: the process is ending, and tearing the scenes down would make GL calls while the
// error is in flight.
void playproduction(const std::function<void(demostart&)>& body);

// True when a GL_RENDERER string names a software rasteriser (llvmpipe, softpipe, swrast).
bool softwarerenderer(const char* renderer);

// Reads "<major><non-digit><minor>..." from a GL_VERSION string; false when there is no
// leading number or the major version is below 3.
bool parseglversion(const char* version, int& major, int& minor);
// True when a loaded major.minor version serves a requested one.
bool supportsversion(int major, int minor, int glmajor, int glminor);

}  // namespace talvo
