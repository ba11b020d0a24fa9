#pragma once
// Data files (shaders, kernel snippets, font, music) live in one resource directory and are
// read whole, as bytes. The directory is the first of these that exists: "resources/" under
// the working directory (a maker's edited copy wins); "../share/quellspire" next to the
// executable (an installed program); "resources" beside the executable (the build tree, whose
// link points at the sources). A program that finds none reads "resources/".
#include <set>
#include <string>

namespace talvo {

// The path of a resource, the name (which may contain subdirectories) under the resource
// directory: "resources/<name>" when the working directory has one.
std::string resourcePath(const std::string& name);

// The whole file at `path`, byte for byte, or false when it cannot be read: missing,
// unreadable, or not a regular file (a directory, or a FIFO, whose open would wait for a
// writer), whose type is checked before anything waits on it.
bool readfile(const std::string& path, std::string& bytes);

// The whole file, byte for byte (any byte values, the file's length). Prints "file <path>
// loaded". Can end the process: a file that readfile cannot read ends it with status 1 after
// "Unable to open file <path>" on standard error.
std::string loadResource(const std::string& name);

// Names the resource file a failure comes from, in one line on standard error: "<path>:
// <what>", then the lines the failure points at, if any (" (line 3)", " (lines 3, 7)"). The
// failure's check or end follows; this call never ends the process.
void resourcefailure(const std::string& path, const std::string& what, const std::set<int>& lines = {});

}  // namespace talvo
