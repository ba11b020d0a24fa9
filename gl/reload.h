#pragma once
// What maker mode rebuilds when a resource file is saved. Each object built from resource
// files (a program from its shader stages, a kernel from its snippets) holds a rebuildentry for
// as long as it lives: the files, and how to rebuild itself from one of them. The entries form
// one list, in the order they were made. Render thread only; a rebuild makes and ends no entry.
#include <functional>
#include <set>
#include <string>

namespace talvo {

// What a rebuild from a saved file did.
struct rebuildcount {
    int objects = 0;  // run the new code
    int refused = 0;  // keep their old code
};

class rebuildentry {
public:
    // Rebuilds the object from `file`, saved with `text`: true once it runs the new code; false
    // when it keeps its old code because the new one does not fit it (a stage that does not
    // link with the program's others). Throws what a failed build of the file throws, keeping
    // the old code.
    using rebuild = std::function<bool(const std::string& file, const std::string& text)>;

    // In the list from now on, built from no file yet.
    explicit rebuildentry(rebuild how);
    ~rebuildentry();
    rebuildentry(const rebuildentry&) = delete;
    rebuildentry& operator=(const rebuildentry&) = delete;

    void builtfrom(const std::string& file) { files.insert(file); }

private:
    friend rebuildcount rebuildfrom(const std::string& file, const std::string& text);
    std::set<std::string> files;
    rebuild how;
};

// Rebuilds every live object built from `file`, saved with `text`. The first build that throws
// ends it: the objects after that one keep their old code too.
rebuildcount rebuildfrom(const std::string& file, const std::string& text);

}  // namespace talvo
