#pragma once
// Maker mode's rebuild of what was built from a resource file that has been saved. Each kind
// of object built from files (programs from shaders, curves, clouds and particles from
// snippets) registers its rebuilder when one of them is built, and rebuildfrom asks every
// kind. Render thread only. A rebuilder counts what it rebuilt, and throws what a failed build
// throws, keeping the old code; a file a kind was not built from rebuilds nothing of it.
#include <string>

namespace talvo {

using rebuilder = int (*)(const std::string& file, const std::string& text);

// Adds `rebuild`, once however often it is added.
void addrebuilder(rebuilder rebuild);
// Every kind's rebuild from `file`, saved with `text`; how many objects were rebuilt.
int rebuildfrom(const std::string& file, const std::string& text);

}  // namespace talvo
