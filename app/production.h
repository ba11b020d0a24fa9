#pragma once
#include "app/runconfig.h"

namespace talvo {

// Brings up the music, the window and its two GL contexts and the GL entry points, runs the
// production to its end and tears everything down in reverse. A fatal start-up failure prints
// one line and ends the process with status 1.
void runproduction(runconfig config);

// Reads "<major><non-digit><minor>..." from a GL_VERSION string; false when there is no
// leading number or the major version is below 3.
bool parseglversion(const char* version, int& major, int& minor);
// True when a loaded major.minor version serves a requested one.
bool supportsversion(int major, int minor, int glmajor, int glminor);

}  // namespace talvo
