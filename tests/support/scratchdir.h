#pragma once
// A temporary working directory with its own resources/ folder, for tests that need resource
// files of their own (empty, binary, broken shaders) next to chosen real ones. The process
// works inside it while the object lives; afterwards the previous working directory is
// restored and the scratch directory removed.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace talvo::testsupport {

class scratchdir {
public:
    scratchdir() : previous(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvo-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::filesystem::filesystem_error("mkdtemp", pattern,
                                                    std::error_code(errno, std::generic_category()));
        root = pattern;
        std::filesystem::create_directory(root / "resources");
        std::filesystem::current_path(root);
    }
    ~scratchdir() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
        std::filesystem::remove_all(root, ignored);
    }
    scratchdir(const scratchdir&) = delete;
    scratchdir& operator=(const scratchdir&) = delete;

    // Writes resources/<name> with exactly these bytes.
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(root / "resources" / name, std::ios::binary) << bytes;
    }
    // Makes the real resources/<name> (of the previous working directory) available here.
    void link(const std::string& name) const {
        std::filesystem::create_symlink(std::filesystem::canonical(previous / "resources" / name),
                                        root / "resources" / name);
    }
    const std::filesystem::path& path() const { return root; }

private:
    std::filesystem::path previous;
    std::filesystem::path root;
};

}  // namespace talvo::testsupport
