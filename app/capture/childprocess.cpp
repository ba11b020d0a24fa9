#include "app/capture/childprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/capture/framesink.h"

extern char** environ;

namespace talvo::capture {

namespace {
std::string readfile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream collected;
    collected << file.rdbuf();
    return collected.str();
}
}  // namespace

std::string findprogram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return dir;
    }
    return "";
}

std::string childprocess::tempfile(const char* what, int& fd) {
    std::string name =
        (std::filesystem::temp_directory_path() / ("quellspire-capture-" + program + "-XXXXXX")).string();
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw capturefailure("cannot make a file for " + program + "'s " + what + ": " + std::strerror(errno));
    return name;
}

childprocess::childprocess(const std::string& program, const std::vector<std::string>& args, bool feed,
                           bool keepoutput)
    : program(program) {
    // A failing program closes its end of the pipe; the write then reports it instead of a
    // signal ending the whole capture.
    std::signal(SIGPIPE, SIG_IGN);

    int errorfd = -1, outfd = -1;
    errors = tempfile("messages", errorfd);
    if (keepoutput) {
        try {
            kept = tempfile("output", outfd);
        } catch (const capturefailure&) {
            close(errorfd);
            unlink(errors.c_str());
            throw;
        }
    }
    int ends[2] = {-1, -1};
    if (feed && pipe2(ends, O_CLOEXEC) != 0) {
        std::string why = std::strerror(errno);
        for (int fd : {errorfd, outfd})
            if (fd >= 0) close(fd);
        for (const std::string& file : {errors, kept})
            if (!file.empty()) unlink(file.c_str());
        throw capturefailure("cannot make a pipe to " + program + ": " + why);
    }

    std::vector<std::string> words = args;
    words.insert(words.begin(), program);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (feed)
        posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (keepoutput)
        posix_spawn_file_actions_adddup2(&actions, outfd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorfd, 2);
    int started = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {ends[0], errorfd, outfd})
        if (fd >= 0) close(fd);
    if (started != 0) {
        pid = -1;
        if (feed) close(ends[1]);
        for (const std::string& file : {errors, kept})
            if (!file.empty()) unlink(file.c_str());
        throw capturefailure("cannot start " + program + ": " + std::strerror(started));
    }
    pipe = ends[1];
}

childprocess::~childprocess() {
    if (pid > 0) wait();
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
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    std::string text = readfile(errors);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    unlink(errors.c_str());
    if (!kept.empty()) {
        out = readfile(kept);
        unlink(kept.c_str());
    }
    // At its error log level ffmpeg prints errors only, and some (a trailer that could not be
    // written) it reports with status 0 all the same.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && text.empty()) return "";
    std::string how = !WIFEXITED(status)         ? "ended by signal " + std::to_string(WTERMSIG(status))
                      : WEXITSTATUS(status) != 0 ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                 : "exit status 0, but with errors";
    return text.empty() ? how : how + "\n" + text;
}

}  // namespace talvo::capture
