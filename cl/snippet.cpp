#include "cl/snippet.h"

#include "diag/fatal.h"
#include "gl/resource.h"

namespace talvo {

namespace {
// A directive must start a line: the templates paste a snippet in mid-line.
std::string header(const std::string& name) { return "\n#line 1 \"" + resourcePath(name) + "\"\n"; }
}  // namespace

std::string loadsnippet(const std::string& name) {
    const std::string text = loadResource(name);
    if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
        resourcefailure(resourcePath(name), "the snippet is empty");
        endrun();
    }
    return snippetcode(name, text);
}

std::string snippetcode(const std::string& name, const std::string& text) { return header(name) + text; }

std::string snippetname(const std::string& code) {
    const std::string start = "\n#line 1 \"" + resourcePath("");
    const size_t end = code.find("\"\n");
    if (code.rfind(start, 0) != 0 || end == std::string::npos) return "";
    return code.substr(start.size(), end - start.size());
}

bool replacesnippet(std::string& code, const std::string& name, const std::string& text) {
    if (code.rfind(header(name), 0) != 0) return false;
    code = header(name) + text;
    return true;
}

}  // namespace talvo
