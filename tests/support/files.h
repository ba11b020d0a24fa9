#pragma once
// Files for tests: a whole file read back, a temporary directory that goes away with its
// object, and a working directory like the build's with some resource files left out.
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace talvo::testsupport {

// The whole file, byte for byte ("" when it cannot be read).
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes.
class tempdir {
public:
    tempdir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvo-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::filesystem::filesystem_error("mkdtemp", pattern, std::error_code(errno, std::generic_category()));
        root = pattern;
    }
    ~tempdir() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    tempdir(const tempdir&) = delete;
    tempdir& operator=(const tempdir&) = delete;

    const std::filesystem::path& path() const { return root; }
    // The path of `name` inside, as a string for command lines.
    std::string operator/(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

// Makes `dir` a working directory like the build directory `builddir`: its resources/ links to
// every file of the build's resources/ except the named ones. Returns `dir` as a string.
inline std::string workdirwithout(const std::filesystem::path& dir, const std::filesystem::path& builddir,
                                  const std::vector<std::string>& leftout) {
    std::filesystem::create_directories(dir / "resources");
    for (const auto& entry : std::filesystem::directory_iterator(builddir / "resources")) {
        const std::string name = entry.path().filename().string();
        bool kept = true;
        for (const std::string& out : leftout) kept = kept && name != out;
        if (kept) std::filesystem::create_symlink(std::filesystem::canonical(entry.path()), dir / "resources" / name);
    }
    return dir.string();
}

}  // namespace talvo::testsupport
