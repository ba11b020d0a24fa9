#include "app/capture/videoencoder.h"

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

extern char** environ;

namespace talvo::capture {

std::vector<std::string> ffmpegarguments(const videosettings& s) {
    std::vector<std::string> args = {
        "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
        "-framerate", fractiontext(s.fps), "-i", "pipe:0",
    };
    if (!s.music.empty()) {
        // The production plays its music in a loop; a range past the file's end gets the
        // music from its beginning again, as a viewer of the run would hear it.
        for (const char* a : {"-stream_loop", "-1", "-i"}) args.push_back(a);
        args.push_back("file:" + s.music);
        for (const char* a : {"-map", "0:v", "-map", "1:a", "-af"}) args.push_back(a);
        args.push_back("atrim=start=" + decimaltext(s.musicstart) + ":duration=" + decimaltext(s.duration) +
                       ",asetpts=PTS-STARTPTS");
        for (const char* a : {"-c:a", "aac", "-b:a", "192k"}) args.push_back(a);
    }
    for (const char* a : {"-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-crf"}) args.push_back(a);
    args.push_back(std::to_string(s.crf));
    std::string extension = std::filesystem::path(s.output).extension().string();
    if (extension == ".mp4" || extension == ".MP4") {
        // The index goes to the front, so that players can start before the whole file is read.
        args.push_back("-movflags");
        args.push_back("+faststart");
    }
    // "file:" keeps a name that starts with '-' or holds ':' a plain file name.
    args.push_back("file:" + s.output);
    return args;
}

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

videoencoder::videoencoder(const videosettings& settings) {
    // A failing ffmpeg closes its end of the pipe; the write then reports it instead of a
    // signal ending the whole program.
    std::signal(SIGPIPE, SIG_IGN);

    std::string errorfile = (std::filesystem::temp_directory_path() / "quellspire-capture-ffmpeg-XXXXXX").string();
    int errorfd = mkostemp(errorfile.data(), O_CLOEXEC);
    if (errorfd < 0) throw capturefailure(std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno));
    errors = errorfile;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        close(errorfd);
        throw capturefailure(std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno));
    }

    std::vector<std::string> args = ffmpegarguments(settings);
    args.insert(args.begin(), "ffmpeg");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorfd, 2);
    int started = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    close(errorfd);
    if (started != 0) {
        pid = -1;
        close(ends[1]);
        throw capturefailure(std::string("cannot start ffmpeg: ") + std::strerror(started));
    }
    pipe = ends[1];
}

videoencoder::~videoencoder() {
    if (pipe >= 0) close(pipe);
    if (pid > 0) reap();
    if (!errors.empty()) unlink(errors.c_str());
}

void videoencoder::write(const std::vector<uint8_t>& rgb) {
    const uint8_t* at = rgb.data();
    size_t left = rgb.size();
    while (left > 0) {
        ssize_t written = ::write(pipe, at, left);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            std::string why = std::strerror(errno);
            close(pipe);
            pipe = -1;
            std::string failure = reap();
            throw capturefailure("ffmpeg failed: " + (failure.empty() ? "it stopped reading (" + why + ")" : failure));
        }
        at += written;
        left -= static_cast<size_t>(written);
    }
}

void videoencoder::finish() {
    close(pipe);
    pipe = -1;
    std::string failure = reap();
    if (!failure.empty()) throw capturefailure("ffmpeg failed: " + failure);
}

std::string videoencoder::reap() {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    std::ifstream file(errors);
    std::ostringstream collected;
    collected << file.rdbuf();
    std::string text = collected.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    unlink(errors.c_str());
    errors.clear();
    // At this log level ffmpeg prints errors only, and some (a trailer that could not be
    // written) it reports with status 0 all the same.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && text.empty()) return "";
    std::string how = !WIFEXITED(status)         ? "ended by signal " + std::to_string(WTERMSIG(status))
                      : WEXITSTATUS(status) != 0 ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                 : "exit status 0, but with errors";
    return text.empty() ? how : how + "\n" + text;
}

}  // namespace talvo::capture
