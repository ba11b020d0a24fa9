#pragma once
// Data files (shaders, kernel snippets, font, music) live under "resources/" in the working
// directory and are read whole, as bytes.
#include <set>
#include <string>

namespace talvo {

// "resources/" followed by the name, which may contain subdirectories.
std::string resourcePath(const std::string& name);

// The whole file, byte for byte (any byte values, the file's length). Prints "file <path>
// loaded". Can end the process: a file that cannot be read ends it with status 1 after
// "Unable to open file <path>" on standard error.
std::string loadResource(const std::string& name);

// Names the resource file a failure comes from, in one line on standard error: "<path>:
// <what>", then the lines the failure points at, if any (" (line 3)", " (lines 3, 7)"). The
// failure's check or end follows; this call never ends the process.
void resourcefailure(const std::string& path, const std::string& what, const std::set<int>& lines = {});

}  // namespace talvo
