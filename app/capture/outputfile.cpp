#include "app/capture/outputfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/capture/framesink.h"
#include "app/capture/runend.h"

namespace talvo::capture {

namespace {
std::atomic<int> made{0};
}

outputfile::outputfile(std::string target) : target(std::move(target)) {
    const std::filesystem::path path(this->target);
    unfinished = (path.parent_path() / (".unfinished-" + std::to_string(getpid()) + "-" + std::to_string(++made) + "-" +
                                        path.filename().string()))
                     .string();
    addunfinished(unfinished);
}

outputfile::~outputfile() {
    if (!committed) dropunfinished(unfinished);
}

void outputfile::commit() {
    if (std::string why = commitunfinished(unfinished, target); !why.empty())
        throw capturefailure("cannot write " + target + ": " + why);
    committed = true;
}

std::string outputfile::named(std::string text) const {
    for (size_t at = text.find(unfinished); at != std::string::npos; at = text.find(unfinished, at + target.size()))
        text.replace(at, unfinished.size(), target);
    return text;
}

void writefile(const std::string& target, std::string_view bytes) {
    outputfile file(target);
    auto failed = [&] { return capturefailure("cannot write " + target + ": " + std::strerror(errno)); };
    const int fd = open(file.temporary().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw failed();
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            capturefailure failure = failed();
            close(fd);
            throw failure;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    if (close(fd) != 0) throw failed();
    file.commit();
}

}  // namespace talvo::capture
