#pragma once
// The one way a run ends on a failure: the line that says why is the last output, then the
// process ends with status 1 at once, on whichever thread the failure happened, without any
// clean-up (contexts, threads and the music are not released in order). Only the handlers
// registered with std::at_quick_exit run (the capture's: the programs it started and its
// unfinished files); exit() would run static destructors under threads that are still running.
// Every call here can end the process.
#include <functional>
#include <iosfwd>
#include <string>

namespace talvo {

// Ends the process with status 1 after `why` and a line end on standard error.
[[noreturn]] void fatal(const std::string& why);
// The same on another stream: the start-up's failures are written to standard output.
[[noreturn]] void fatal(std::ostream& stream, const std::string& why);

// Ends the process with status 1 when the line that says why is already written (a check's).
[[noreturn]] void endrun();

// Runs `body`; if it throws one of the engine's fatal exceptions (whose check has written its
// lines), ends the process through endrun(), ending a check line left open; any other
// std::exception ends it through fatal() with the program's name and its text, or what to do
// when memory ran out.
void endonfatal(const std::function<void()>& body);

}  // namespace talvo
