#pragma once
// How a run ends after a fatal check: the check has written its lines; the process ends with
// status 1 at once, on whichever thread the failure happened, without any clean-up (contexts,
// threads and the music are not released in order).
#include <functional>

namespace talvo {

// Runs `body`; if it throws one of the engine's fatal exceptions, ends the process with
// status 1 after flushing the console.
void endonfatal(const std::function<void()>& body);

// Ends the process with status 1 after flushing the console, without running destructors
// (static or otherwise): another thread may still be waiting on a condition variable that
// exit() would destroy under it. Only the handlers registered with std::at_quick_exit run
// (the capture's: the programs it started and its unfinished files).
[[noreturn]] void endrun();

}  // namespace talvo
