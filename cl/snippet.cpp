#include "cl/snippet.h"

#include "diag/fatal.h"
#include "gl/resource.h"

namespace talvo {

std::string loadsnippet(const std::string& name) {
    const std::string text = loadResource(name);
    if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
        resourcefailure(resourcePath(name), "the snippet is empty");
        endrun();
    }
    // A directive must start a line: the templates paste a snippet in mid-line.
    return "\n#line 1 \"" + resourcePath(name) + "\"\n" + text;
}

}  // namespace talvo
