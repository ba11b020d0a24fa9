#pragma once
// Starts a program as a user would, from a working directory, with its standard output and
// error collected in files, and waits for it with a deadline; and runs a shell command line
// for its output.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

namespace talvo::testsupport {

class process {
public:
    process(const std::string& program, const std::vector<std::string>& args, const std::string& workdir,
            const std::vector<std::string>& environment = {})
        : out(tempname("out")), err(tempname("err")) {
        pid = fork();
        if (pid == 0) {
            if (chdir(workdir.c_str()) != 0) _exit(127);
            int in = open("/dev/null", O_RDONLY);
            int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(o, 1);
            dup2(e, 2);
            for (const std::string& assignment : environment) putenv(const_cast<char*>(assignment.c_str()));
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~process() {
        if (!finished) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unlink(out.c_str());
        unlink(err.c_str());
    }

    // True while the program runs.
    bool running() {
        if (finished) return false;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) record(status);
        return !finished;
    }

    // The exit status as a shell reports it (128 + the signal's number for a program ended by
    // a signal), or -1 if the program had not ended by the deadline (it is then killed).
    int wait(std::chrono::seconds deadline) {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (running() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!finished) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            finished = true;
            exitstatus = -1;
        }
        return exitstatus;
    }

    // Waits until standard output holds `text` or the program ends; true if it appeared.
    bool waitforoutput(const std::string& text, std::chrono::seconds deadline) {
        return waitfor(out, text, deadline);
    }
    // The same for standard error.
    bool waitforerror(const std::string& text, std::chrono::seconds deadline) { return waitfor(err, text, deadline); }

    std::string stdout_() const { return slurp(out); }
    // The process id, to read the program's figures in /proc while it runs.
    pid_t id() const { return pid; }
    std::string stderr_() const { return slurp(err); }

private:
    static std::string tempname(const char* what) {
        static int counter = 0;
        return "/tmp/talvo-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "." + what;
    }
    void record(int status) {
        finished = true;
        exitstatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool waitfor(const std::string& file, const std::string& text, std::chrono::seconds deadline) {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < until) {
            if (slurp(file).find(text) != std::string::npos) return true;
            if (!running()) return slurp(file).find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    pid_t pid = -1;
    bool finished = false;
    int exitstatus = -1;
    std::string out, err;
};

// What a shell command line printed on its standard output, and its exit status (-1 when it
// could not be run or was ended by a signal).
struct shelloutput {
    int status;
    std::string out;
};

inline shelloutput shell(const std::string& line) {
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string out;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, got);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace talvo::testsupport
