#include "gl/reload.h"

#include <algorithm>
#include <vector>

namespace talvo {

namespace {
// Every live object built from resource files; render thread only.
std::vector<rebuildentry*> entries;
}  // namespace

rebuildentry::rebuildentry(rebuild how) : how(std::move(how)) { entries.push_back(this); }

rebuildentry::~rebuildentry() { entries.erase(std::find(entries.begin(), entries.end(), this)); }

rebuildcount rebuildfrom(const std::string& file, const std::string& text) {
    rebuildcount count;
    for (rebuildentry* entry : entries) {
        if (!entry->files.count(file)) continue;
        if (entry->how(file, text))
            ++count.objects;
        else
            ++count.refused;
    }
    return count;
}

}  // namespace talvo
