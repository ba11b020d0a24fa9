#include "gl/reload.h"

#include <algorithm>
#include <vector>

namespace talvo {

namespace {
// A handful of kinds, added as their first objects are built; render thread only.
std::vector<rebuilder> rebuilders;
}  // namespace

void addrebuilder(rebuilder rebuild) {
    if (std::find(rebuilders.begin(), rebuilders.end(), rebuild) == rebuilders.end()) rebuilders.push_back(rebuild);
}

int rebuildfrom(const std::string& file, const std::string& text) {
    int rebuilt = 0;
    for (const rebuilder rebuild : rebuilders) rebuilt += rebuild(file, text);
    return rebuilt;
}

}  // namespace talvo
