#include "app/capture/outputfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <regex>

#include "app/capture/framesink.h"
#include "app/capture/runend.h"

namespace talvo::capture {

namespace {

namespace fs = std::filesystem;

// ".unfinished-<process>-<count>-<rest of the name>", as outputfile names its files.
const std::regex unfinishedname("\\.unfinished-([1-9][0-9]{0,9})-[1-9][0-9]*-.+");

}  // namespace

outputfile::outputfile(std::string target) : target(std::move(target)) {
    const fs::path path(this->target);
    const std::string lead = ".unfinished-" + std::to_string(getpid()) + "-" + std::to_string(nextunfinished()) + "-";
    // Wherever the target's name fits, so does this one: beyond the directory's longest name it
    // keeps the end of the target's, with the extension.
    std::string name = path.filename().string();
    const size_t longest = longestname(path.parent_path().string());
    if (lead.size() + name.size() > longest) name.erase(0, lead.size() + name.size() - longest);
    unfinished = (path.parent_path() / (lead + name)).string();
    addunfinished(unfinished);
    // Created and locked for as long as it is unfinished, so that no run that starts meanwhile
    // takes it for a leftover (removeleftovers), even one on another machine that shares the
    // directory. The programs that write it open it anew, keeping the lock.
    lock = open(unfinished.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const std::string why = std::strerror(errno);
        if (lock >= 0) close(lock);
        dropunfinished(unfinished);
        throw capturefailure("cannot write " + this->target + ": " + why);
    }
}

outputfile::~outputfile() {
    if (!committed) dropunfinished(unfinished);
    close(lock);
}

void outputfile::commit() {
    if (std::string why = commitunfinished(unfinished, target); !why.empty())
        throw capturefailure("cannot write " + target + ": " + why);
    committed = true;
}

std::vector<std::string> removeleftovers(const std::string& dir) {
    std::vector<std::string> removed;
    std::error_code error;
    for (fs::directory_iterator entry(dir.empty() ? "." : dir, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::smatch match;
        if (!std::regex_match(name, match, unfinishedname) || !entry->is_regular_file(error)) continue;
        // Only a process that is gone: one of that number may be another program, or this one.
        const long pid = std::stol(match[1]);
        if (pid > INT_MAX || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        const int fd = open(entry->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(entry->path().c_str()) == 0) removed.push_back(entry->path().string());
        close(fd);
    }
    return removed;
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
