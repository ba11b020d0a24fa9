#include "app/capture/childprocess.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "app/capture/framesink.h"
#include "app/capture/runend.h"

extern char** environ;

namespace talvo::capture {

namespace {
std::string readall(FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
    return text;
}

// The last line of a program's messages, leaving out ffmpeg's indented notes such as "Last
// message repeated 4 times".
std::string lastline(const std::string& text) {
    std::istringstream lines(text);
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != ' ') last = line;
    return last;
}
}  // namespace

std::string findprogram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0) return dir;
    }
    return "";
}

childprocess::unnamedfile childprocess::unnamed(const char* what) const {
    // In memory, not in the temporary directory: when that is full, ffmpeg's reason (often
    // that very thing) is kept all the same.
    const int fd = memfd_create(what, MFD_CLOEXEC);
    unnamedfile file(fd >= 0 ? fdopen(fd, "w+") : nullptr, fclose);
    if (!file) {
        const int error = errno;
        if (fd >= 0) close(fd);
        throw capturefailure("cannot make a file for " + program + "'s " + what + ": " + std::strerror(error));
    }
    return file;
}

childprocess::childprocess(const std::string& program, const std::vector<std::string>& args, bool feed,
                           bool keepoutput, int handed)
    : program(program) {
    // A failing program closes its end of the pipe; the write then reports it instead of a
    // signal ending the whole capture.
    std::signal(SIGPIPE, SIG_IGN);

    const std::string dir = findprogram(program);
    if (dir.empty()) throw capturefailure("cannot start " + program + ": not found in PATH");
    const std::string path = dir + "/" + program;
    errors = unnamed("messages");
    if (keepoutput) kept = unnamed("output");
    int ends[2] = {-1, -1};
    if (feed && pipe2(ends, O_CLOEXEC) != 0)
        throw capturefailure("cannot make a pipe to " + program + ": " + std::strerror(errno));
    const int empty = open("/dev/null", O_RDWR | O_CLOEXEC);

    std::vector<std::string> words = args;
    words.insert(words.begin(), program);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid = forkchild();
    if (pid == 0) {
        if (dup2(feed ? ends[0] : empty, 0) < 0 || dup2(keepoutput ? fileno(kept.get()) : empty, 1) < 0 ||
            dup2(fileno(errors.get()), 2) < 0 ||
            (handed >= 0 && (handed == 3 ? fcntl(3, F_SETFD, 0) : dup2(handed, 3)) < 0))
            _exit(127);
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    const int started = errno;
    for (int fd : {ends[0], empty})
        if (fd >= 0) close(fd);
    if (pid < 0) {
        if (feed) close(ends[1]);
        throw capturefailure("cannot start " + program + ": " + std::strerror(started));
    }
    pipe = ends[1];
}

childprocess::~childprocess() {
    if (pid <= 0) return;
    if (pipe >= 0) close(pipe);
    endchild(pid, true);
}

void childprocess::write(const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(pipe, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            std::string why = std::strerror(errno);
            std::string failure = wait();
            throw capturefailure(program + " failed: " +
                                 (failure.empty() ? "it stopped reading (" + why + ")" : failure));
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

std::string childprocess::wait() {
    if (pid <= 0) return "";
    if (pipe >= 0) close(pipe);
    pipe = -1;
    // Waits without reaping; endchild reaps it.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    const int status = endchild(pid, false);
    pid = -1;
    std::string text = readall(errors.get());
    if (kept) out = readall(kept.get());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // At its error log level ffmpeg prints errors only, and some (a trailer that could not be
    // written) it reports with status 0 all the same.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && text.empty()) return "";
    std::string how = !WIFEXITED(status)         ? "ended by signal " + std::to_string(WTERMSIG(status))
                      : WEXITSTATUS(status) != 0 ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                 : "exit status 0, but with errors";
    return text.empty() ? how : how + ": " + lastline(text);
}

}  // namespace talvo::capture
