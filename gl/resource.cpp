#include "gl/resource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
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

bool readfile(const std::string& path, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat file {};
    bool read = fstat(fd, &file) == 0 && S_ISREG(file.st_mode);
    bytes.clear();
    char chunk[65536];
    for (ssize_t got = 1; read && got > 0;) {
        got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) read = false;
        if (got > 0) bytes.append(chunk, size_t(got));
    }
    close(fd);
    return read;
}

std::string loadResource(const std::string& name) {
    const std::string path = resourcePath(name);
    std::string bytes;
    if (!readfile(path, bytes)) fatal("Unable to open file " + path);
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
