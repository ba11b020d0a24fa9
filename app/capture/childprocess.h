#pragma once
// A helper program the capture runs (ffmpeg, ffprobe): its standard input a pipe the capture
// feeds or nothing, its standard output kept when asked, its standard error collected for the
// message when it fails.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace talvo::capture {

// The directory in PATH that holds an executable `name`, or empty.
std::string findprogram(const std::string& name);

class childprocess {
public:
    // Starts `program`, found in PATH, with `args`. With `feed` its standard input is a pipe
    // for write(), otherwise empty; with `keepoutput` its standard output is kept for output(),
    // otherwise dropped. Throws capturefailure if it cannot be started.
    childprocess(const std::string& program, const std::vector<std::string>& args, bool feed, bool keepoutput);
    // Ends the feed and waits for the program if wait() was not reached.
    ~childprocess();
    childprocess(const childprocess&) = delete;
    childprocess& operator=(const childprocess&) = delete;

    // Feeds its standard input. Throws capturefailure ("<program> failed: ...") when it stops
    // reading.
    void write(const uint8_t* data, size_t size);
    // Ends the feed and waits: empty if the program succeeded, else how it ended and its error
    // output.
    std::string wait();
    // Its standard output, once wait() returned.
    const std::string& output() const { return out; }

private:
    // A file for one of its outputs, removed by wait().
    std::string tempfile(const char* what, int& fd);

    std::string program;
    pid_t pid = -1;
    int pipe = -1;
    std::string errors;  // file that collects standard error
    std::string kept;    // file that collects standard output, when kept
    std::string out;
};

}  // namespace talvo::capture
