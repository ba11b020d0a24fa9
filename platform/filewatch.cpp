#include "platform/filewatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace talvo::platform {

filewatch::filewatch(const std::string& directory) {
    descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0) {
        failure = std::strerror(errno);
        return;
    }
    if (inotify_add_watch(descriptor, directory.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        failure = std::strerror(errno);
        close(descriptor);
        descriptor = -1;
    }
}

filewatch::~filewatch() {
    if (descriptor >= 0) close(descriptor);
}

std::vector<std::string> filewatch::saved(std::chrono::milliseconds quiet) {
    const auto now = std::chrono::steady_clock::now();
    if (descriptor >= 0) {
        alignas(inotify_event) char events[16384];
        for (ssize_t got; (got = read(descriptor, events, sizeof events)) > 0;) {
            for (char* at = events; at < events + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0) pending[event->name] = now;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }
    std::vector<std::string> names;
    for (auto file = pending.begin(); file != pending.end();) {
        if (now - file->second < quiet) {
            ++file;
            continue;
        }
        names.push_back(file->first);
        file = pending.erase(file);
    }
    return names;
}

}  // namespace talvo::platform
