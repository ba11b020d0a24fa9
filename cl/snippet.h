#pragma once
// OpenCL C read from resources/: a scene's snippet (*.slcl), pasted into a kernel template, or
// a whole program ("particles.cl").
#include <string>

namespace talvo {

// The text of resources/<name> (read with loadResource), after a line directive that names
// the file: wherever the text is pasted, the compiler's messages then give the file and its
// own line numbers. Can end the process: a file loadResource cannot read does, and so does a
// file with nothing but white space, which would build a kernel that computes nothing (status
// 1 after "resources/<name>: the snippet is empty").
std::string loadsnippet(const std::string& name);
// The code of the snippet resources/<name> whose text is `text`, as loadsnippet gives it.
std::string snippetcode(const std::string& name, const std::string& text);
// The name of the snippet `code` is, as loadsnippet gave it; "" for code that is no snippet.
std::string snippetname(const std::string& code);
// Where `code` is the snippet resources/<name> as loadsnippet gave it, puts `text` in its place
// (with the same line directive) and returns true; otherwise leaves it alone.
bool replacesnippet(std::string& code, const std::string& name, const std::string& text);

}  // namespace talvo
