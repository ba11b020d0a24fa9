#include "app/capture/outputfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

#include "app/capture/framesink.h"
#include "app/capture/runend.h"

namespace talvo::capture {

namespace {

namespace fs = std::filesystem;

// ".unfinished-<process>-<count>-<token>-<rest of the name>", as outputfile names its files.
const std::regex unfinishedname("\\.unfinished-([1-9][0-9]{0,9})-[1-9][0-9]*-([0-9a-f]{16})-.+");

// The extended attribute that marks a file as a capture's unfinished one, its value the token
// of its name: no file the capture did not make carries it, so that removeleftovers takes
// nothing else, whatever its name. A file system without such attributes keeps its leftovers.
constexpr const char* mark = "user.quellspire.unfinished";

std::string randomtoken() {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, 0) != ssize_t(sizeof bits))
        throw capturefailure(std::string("cannot draw a random name: ") + std::strerror(errno));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

}  // namespace

outputfile::outputfile(std::string target) : target(std::move(target)) {
    const fs::path path(this->target);
    const fs::path parent = path.parent_path();
    auto failed = [&](int error) {
        return capturefailure("cannot write " + this->target + ": " + std::strerror(error));
    };
    dir = open(parent.empty() ? "." : parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throw failed(errno);
    // A name taken meanwhile (by chance, or by someone who guessed) is never opened: O_EXCL
    // fails on any node there, a symbolic link included, so another token is drawn.
    for (int attempt = 0; fd < 0; ++attempt) {
        const std::string token = randomtoken();
        const std::string lead = unfinishedlead + std::to_string(getpid()) + "-" + std::to_string(nextunfinished()) + "-" + token + "-";
        // Wherever the target's name fits, so does this one: beyond the directory's longest
        // name it keeps the end of the target's, with the extension.
        std::string name = path.filename().string();
        const size_t longest = longestname(parent.string());
        if (lead.size() + name.size() > longest) name.erase(0, lead.size() + name.size() - longest);
        // Registered before it exists, under the run's lock, so that a signal between the two
        // cannot leave it; removed by the same directory and name only if this run made it.
        const int made = createunfinished(dir, lead + name, [&] {
            return openat(dir, (lead + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        });
        if (made < 0 && errno == EEXIST && attempt < 8) continue;
        if (made < 0) {
            const int error = errno;
            close(dir);
            throw failed(error);
        }
        fd = made;
        unfinished = (parent / (lead + name)).string();
        // Held locked while unfinished, so that no run that starts meanwhile takes it for a
        // leftover, even one on another machine that shares the directory.
        flock(fd, LOCK_EX | LOCK_NB);
        fsetxattr(fd, mark, token.data(), token.size(), 0);
    }
}

outputfile::~outputfile() {
    if (!committed) dropunfinished(dir, fs::path(unfinished).filename());
    if (fd >= 0) close(fd);
    close(dir);
}

void outputfile::commit() {
    // A finished output carries no mark: only unfinished files are ever removed.
    fremovexattr(fd, mark);
    // Closed first: a write the system deferred fails here, with its reason.
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) throw capturefailure("cannot write " + target + ": " + std::strerror(errno));
    if (std::string why = commitunfinished(dir, fs::path(unfinished).filename(), target); !why.empty())
        throw capturefailure("cannot write " + target + ": " + why);
    committed = true;
}

std::vector<std::string> removeleftovers(const std::string& dir) {
    std::vector<std::string> removed;
    std::error_code error;
    for (fs::directory_iterator entry(dir.empty() ? "." : dir, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::smatch match;
        if (!std::regex_match(name, match, unfinishedname) || !entry->is_regular_file(error) || entry->is_symlink(error))
            continue;
        // Only a process that is gone: one of that number may be another program, or this one.
        const long pid = std::stol(match[1]);
        if (pid > INT_MAX || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        // Never a FIFO's open that waits, nor a link followed.
        const int fd = open(entry->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        char token[17] = {};
        struct stat opened {}, named {};
        const bool ours = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                          fgetxattr(fd, mark, token, 16) == 16 && match[2] == token &&
                          flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(entry->path().c_str(), &named) == 0 &&
                          named.st_ino == opened.st_ino && named.st_dev == opened.st_dev;
        if (ours && unlink(entry->path().c_str()) == 0) removed.push_back(entry->path().string());
        close(fd);
    }
    return removed;
}

std::string outputfile::named(std::string text) const {
    for (const std::string& name : {unfinished, handedname})
        for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + target.size()))
            text.replace(at, name.size(), target);
    return text;
}

void writefile(const std::string& target, std::string_view bytes) {
    outputfile file(target);
    auto failed = [&] { return capturefailure("cannot write " + target + ": " + std::strerror(errno)); };
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.descriptor(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) throw failed();
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    file.commit();
}

}  // namespace talvo::capture
