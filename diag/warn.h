#pragma once
// The one way to report a failure that the run survives. Never ends the process.
#include <string>

namespace talvo {

// Writes `line` and a line end to standard error, in one write, and goes on. The text is the
// caller's as it stands: fixed messages keep their exact words.
void warn(const std::string& line);

}  // namespace talvo
