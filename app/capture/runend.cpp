#include "app/capture/runend.h"

#include <pthread.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "app/capture/framesink.h"
#include "diag/warn.h"

namespace talvo::capture {

namespace {

const int stops[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The run's own lines' name, and what its end must not leave behind.
struct registry {
    const char* name = "quellspire-capture";
    std::mutex lock;
    std::set<pid_t> children;
    std::set<std::pair<int, std::string>> files;  // by directory and name
    int filesnamed = 0;
    // The signals its thread takes; set once, before the thread starts.
    sigset_t stops;
};

// Never destroyed: the exit handlers may run after the static destructors.
registry& leftovers() {
    static registry* const instance = new registry;
    return *instance;
}

// Ends the children and removes the unfinished files. The lock stays taken: the process is
// ending, and nothing may start or be moved into place any more.
void discard() {
    registry& r = leftovers();
    r.lock.lock();
    for (pid_t child : r.children) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    r.children.clear();
    for (const auto& [dir, name] : r.files) unlinkat(dir, name.c_str(), 0);
    r.files.clear();
}

// The thread that turns a signal into the run's end.
void* takestops(void* waited) {
    int signal = 0;
    while (sigwait(static_cast<sigset_t*>(waited), &signal) != 0) {
    }
    discard();
    // After a progress line redrawn in place, the message starts a line of its own.
    const std::string message = std::string(isatty(2) ? "\n" : "") + leftovers().name + ": interrupted\n";
    (void)!::write(2, message.data(), message.size());
    // Ends the process as the signal would have: the default action, taken by this thread.
    std::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace

const char* programname() { return leftovers().name; }

void nameprogram(const char* name) { leftovers().name = name; }

int failure(const std::string& message, int status) {
    warn(std::string(programname()) + ": " + message);
    return status;
}

void catchstops() {
    // A file-size limit then fails a write with its reason ("File too large") instead of
    // ending the process; forkchild does the same for the programs the capture starts.
    std::signal(SIGXFSZ, SIG_IGN);

    sigset_t& waited = leftovers().stops;
    sigemptyset(&waited);
    for (int signal : stops) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        if (now.sa_handler != SIG_IGN) sigaddset(&waited, signal);
    }
    pthread_sigmask(SIG_BLOCK, &waited, nullptr);
    pthread_t thread;
    if (int failed = pthread_create(&thread, nullptr, takestops, &waited); failed != 0) {
        pthread_sigmask(SIG_UNBLOCK, &waited, nullptr);
        throw capturefailure(std::string("cannot start the thread that takes signals: ") + std::strerror(failed));
    }
    pthread_detach(thread);
    std::atexit(discard);
    std::at_quick_exit(discard);
}

pid_t forkchild() {
    const pid_t parent = getpid();
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    const pid_t child = fork();
    if (child == 0) {
        // From here on only calls that are safe after a fork of a process with threads.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);  // the capture ended before prctl
        setpgid(0, 0);
        // A file-size limit fails its writes with their reason too: the capture's libraries
        // (LLVM) put a handler of their own on SIGXFSZ, which exec would turn into the
        // default, ending the program.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, nullptr);
        sigset_t all;
        sigemptyset(&all);
        for (int signal : stops) sigaddset(&all, signal);
        sigprocmask(SIG_UNBLOCK, &all, nullptr);
        return 0;
    }
    if (child > 0) r.children.insert(child);
    return child;
}

int endchild(pid_t pid, bool kill) {
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    // Under the lock the child's number stays its own until it is forgotten: nothing else
    // reaps it in between and so lets the number go to another process.
    if (kill) ::kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.children.erase(pid);
    return status;
}

int nextunfinished() {
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    return ++r.filesnamed;
}

int createunfinished(int dir, const std::string& name, const std::function<int()>& create) {
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    const int fd = create();
    if (fd >= 0) r.files.emplace(dir, name);
    return fd;
}

void dropunfinished(int dir, const std::string& name) {
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.files.erase({dir, name})) unlinkat(dir, name.c_str(), 0);
}

std::string commitunfinished(int dir, const std::string& name, const std::string& target) {
    registry& r = leftovers();
    std::lock_guard<std::mutex> guard(r.lock);
    // A symbolic link, FIFO or device put at the target's name during the run stays as it is.
    struct stat there {};
    if (lstat(target.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) return "it is not a regular file";
    if (renameat(dir, name.c_str(), AT_FDCWD, target.c_str()) != 0) return std::strerror(errno);
    r.files.erase({dir, name});
    return "";
}

}  // namespace talvo::capture
