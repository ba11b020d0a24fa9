#include "gl/resource.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "diag/fatal.h"

namespace talvo {

namespace {

// The directory of resources, looked up anew each time: the working directory may change.
std::filesystem::path resourcedir() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    if (fs::is_directory("resources", ignored)) return "resources";
    const fs::path executable = fs::read_symlink("/proc/self/exe", ignored);
    if (!executable.empty()) {
        for (const fs::path& dir : {executable.parent_path() / "../share/quellspire", executable.parent_path() / "resources"})
            if (fs::is_directory(dir, ignored)) return dir.lexically_normal();
    }
    return "resources";
}

}  // namespace

std::string resourcePath(const std::string& name) {
    return (resourcedir() / name).string();
}

std::string loadResource(const std::string& name) {
    const std::string path = resourcePath(name);
    std::ifstream file(path, std::ios::in | std::ios::binary | std::ios::ate);
    // A directory opens too, with a nonsense size: it is as unreadable as a missing file.
    std::error_code ignored;
    const std::streamoff size =
        file && std::filesystem::is_regular_file(path, ignored) ? std::streamoff(file.tellg()) : -1;
    if (size < 0) fatal("Unable to open file " + path);
    std::string bytes(static_cast<size_t>(size), '\0');
    file.seekg(0);
    file.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(file.gcount()));
    file.close();
    std::cout << "file " << path << " loaded" << std::endl;
    return bytes;
}

void resourcefailure(const std::string& path, const std::string& what, const std::set<int>& lines) {
    std::string where;
    for (int line : lines) where += (where.empty() ? "" : ", ") + std::to_string(line);
    if (!lines.empty()) where = (lines.size() == 1 ? " (line " : " (lines ") + where + ")";
    std::cerr << path << ": " << what << where << std::endl;
}

}  // namespace talvo
