#pragma once
// Saves of the files in one directory, seen through inotify: a file written in place (closed
// after writing) and a file written elsewhere and renamed into the directory both count. The
// events of one save come close together; a file is reported once they have been quiet for a
// moment, so that one save is reported once. Not thread-safe: one thread polls it.
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace talvo::platform {

class filewatch {
public:
    // Watches `directory` (a link to one counts as the directory). When inotify refuses,
    // watching() is false and saved() reports nothing; why() says why.
    explicit filewatch(const std::string& directory);
    ~filewatch();
    filewatch(const filewatch&) = delete;
    filewatch& operator=(const filewatch&) = delete;

    bool watching() const { return descriptor >= 0; }
    const std::string& why() const { return failure; }

    // The names (within the directory) of the files saved since the last call whose last event
    // is at least `quiet` old; never waits.
    std::vector<std::string> saved(std::chrono::milliseconds quiet = std::chrono::milliseconds(50));

private:
    int descriptor = -1;
    std::string failure;
    std::map<std::string, std::chrono::steady_clock::time_point> pending;
};

}  // namespace talvo::platform
