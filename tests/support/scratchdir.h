#pragma once
// A temporary working directory with its own resources/ folder, for tests that need resource
// files of their own (empty, binary, broken shaders) next to chosen real ones. The process
// works inside it while the object lives; afterwards the previous working directory is
// restored and the scratch directory removed.
#include <filesystem>
#include <fstream>
#include <string>

#include "support/files.h"

namespace talvo::testsupport {

class scratchdir {
public:
    scratchdir() : previous(std::filesystem::current_path()) {
        std::filesystem::create_directory(root.path() / "resources");
        std::filesystem::current_path(root.path());
    }
    ~scratchdir() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
    scratchdir(const scratchdir&) = delete;
    scratchdir& operator=(const scratchdir&) = delete;

    // Writes resources/<name> with exactly these bytes.
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(root.path() / "resources" / name, std::ios::binary) << bytes;
    }
    // Makes the real resources/<name> (of the previous working directory) available here.
    void link(const std::string& name) const {
        std::filesystem::create_symlink(std::filesystem::canonical(previous / "resources" / name),
                                        root.path() / "resources" / name);
    }
    const std::filesystem::path& path() const { return root.path(); }

private:
    std::filesystem::path previous;
    tempdir root;  // after previous: removed once the working directory is back there
};

}  // namespace talvo::testsupport
