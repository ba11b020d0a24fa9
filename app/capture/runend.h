#pragma once
// How a capture ends early without leaving anything of its own behind. The programs it starts
// (ffmpeg, ffprobe) and the outputs it has not finished are registered here while they live.
// A signal to end (SIGINT, SIGTERM, SIGHUP, SIGQUIT) is taken by a thread of its own, whatever the
// others are doing: it ends those programs, removes those files, says "interrupted" and ends
// the process by the same signal, so that its caller (a shell, the runner of parts) sees it
// interrupted, with status 128 + the signal's number. An exit that skips the unwinding of the
// run (a failed check, a missing resource file, a lost display) ends and removes the same on
// its way out.
#include <sys/types.h>

#include <functional>
#include <string>

namespace talvo::capture {

// The name that starts the program's own lines on standard error: "quellspire-capture" unless
// main names the program otherwise, first thing.
const char* programname();
void nameprogram(const char* name);
// Writes "<programname>: <message>" on standard error; returns `status`, the exit status.
int failure(const std::string& message, int status = 1);

// Takes the signals to end. Called first in main, before any other thread starts: the threads
// inherit the mask that keeps the signals for the one thread that takes them. A signal the
// capture was started with ignored (nohup, a background job of a script) stays ignored.
// Throws capturefailure if the thread cannot be started.
void catchstops();

// Forks a child that ends with the run. It stays registered until endchild reaps it; it is
// killed by the kernel should the thread that forked it end first (the capture starts its
// programs from its main thread, which lives as long as the process); and it has a process
// group of its own, so that a Ctrl-C reaches the capture, which ends it, rather than the
// program, which would finish its file. In the child (0 returned) the signals to end are as
// the capture found them, and it may only set up its descriptors and exec. -1 with errno if the
// fork failed.
pid_t forkchild();
// Kills the child first when `kill`, waits for it and forgets it; its wait status.
int endchild(pid_t pid, bool kill);

// A number for the next unfinished file's name, unique within the run.
int nextunfinished();
// Creates the file `name` in the directory `dir` through `create`, which returns its
// descriptor or -1 with errno; once created, it is removed (from that directory, wherever it
// has moved) if the run ends before commitunfinished moves it into place. Returns what
// `create` returned.
int createunfinished(int dir, const std::string& name, const std::function<int()>& create);
// Removes it and forgets it.
void dropunfinished(int dir, const std::string& name);
// Moves it to `target` and forgets it; empty, or the reason it could not: the system's, or
// that the target is no longer a regular file, which is never replaced.
std::string commitunfinished(int dir, const std::string& name, const std::string& target);

}  // namespace talvo::capture
