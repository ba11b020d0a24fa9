#pragma once
// The capture run: the production's own start-up, states and schedule, driven by the virtual
// clock of frameclock.h, every frame read back and handed to the output. As in the real loop,
// the update steps run on a thread of their own with the secondary context (app/updatethread.h).
#include "app/capture/options.h"

namespace talvo::capture {

// Runs the capture; returns the exit status (0, or 1 with a message on standard error). GL
// failures end the process through their checks (status 1).
int runcapture(const captureoptions& options);

}  // namespace talvo::capture
