#pragma once
// quellspire-capture and the runner of its parts started as a user would, from the build
// directory on the test display, and their videos read back with the real ffmpeg and ffprobe.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/builddir.h"
#include "support/files.h"
#include "support/process.h"

namespace talvo::testsupport {

const std::string captureprogram = QUELLSPIRE_CAPTURE;
const std::string runnerscript = std::string(TALVO_SOURCE_DIR) + "/tools/capture-parallel.sh";

struct outcome {
    int status;
    std::string out, err;
};

inline outcome runprogram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workdir, const std::vector<std::string>& environment = {}) {
    process run(program, args, workdir, environment);
    int status = run.wait(std::chrono::seconds(300));
    return {status, run.stdout_(), run.stderr_()};
}

inline outcome capture(const std::vector<std::string>& args, const std::string& workdir = builddir,
                       const std::vector<std::string>& environment = {}) {
    return runprogram(captureprogram, args, workdir, environment);
}

// A working directory like the build's, whose resources/ has everything but the music.
inline std::string nomusic(const tempdir& dir) { return workdirwithout(dir.path() / "run", builddir, {"sound.flac"}); }

// One stream or format field of a video as ffprobe reads it ("" if absent).
inline std::string probe(const std::string& file, const std::string& stream, const std::string& entry) {
    std::string selector = stream.empty() ? "" : "-select_streams " + stream + " ";
    std::string section = stream.empty() ? "format" : "stream";
    std::string counting = entry == "nb_read_frames" ? "-count_frames " : "";
    std::string out = shell("ffprobe -v error " + selector + counting + "-show_entries " + section + "=" + entry +
                            " -of default=noprint_wrappers=1:nokey=1 '" + file + "'")
                          .out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// The decoded pictures of a video's first video stream, frame by frame: ffmpeg's framemd5
// (time stamps, sizes and a checksum of each frame).
inline std::string framemd5(const std::string& file) {
    return shell("ffmpeg -hide_banner -loglevel error -i '" + file + "' -map 0:v:0 -f framemd5 -").out;
}

// The processes whose command line holds `text`, by id: a test's scratch directory names what
// a run it started has started in turn.
inline std::map<pid_t, std::string> processeswith(const std::string& text) {
    std::map<pid_t, std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == getpid()) continue;
        std::string command = slurp(entry.path() / "cmdline");
        for (char& c : command)
            if (c == '\0') c = ' ';
        if (command.find(text) != std::string::npos) found[std::stoi(name)] = command;
    }
    return found;
}

// The names of the files in `dir`, sorted.
inline std::vector<std::string> filenames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace talvo::testsupport
