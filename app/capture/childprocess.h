#pragma once
// A helper program the capture runs (ffmpeg, ffprobe): its standard input a pipe the capture
// feeds or nothing, its standard output kept when asked, its standard error collected for the
// message when it fails. It ends with the capture, however the capture ends (runend.h).
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace talvo::capture {

// The directory in PATH that holds an executable `name`, or empty.
std::string findprogram(const std::string& name);

class childprocess {
public:
    // Starts `program`, found in PATH, with `args`. With `feed` its standard input is a pipe
    // for write(), otherwise empty; with `keepoutput` its standard output is kept for output(),
    // otherwise dropped; `handed`, when given, is its descriptor 3 (handedname, outputfile.h).
    // Throws capturefailure if it cannot be started.
    childprocess(const std::string& program, const std::vector<std::string>& args, bool feed, bool keepoutput,
                 int handed = -1);
    // Ends the program if wait() was not reached: its work is unfinished.
    ~childprocess();
    childprocess(const childprocess&) = delete;
    childprocess& operator=(const childprocess&) = delete;

    // Feeds its standard input. Throws capturefailure ("<program> failed: ...") when it stops
    // reading.
    void write(const uint8_t* data, size_t size);
    // Ends the feed and waits: empty if the program succeeded, else one line: how it ended and
    // the last line of its error output, which is the one that says why.
    std::string wait();
    // Its standard output, once wait() returned.
    const std::string& output() const { return out; }

private:
    // Files without a name for its outputs, in memory: nothing is left of them whatever way the
    // run ends.
    using unnamedfile = std::unique_ptr<FILE, int (*)(FILE*)>;
    unnamedfile unnamed(const char* what) const;

    std::string program;
    pid_t pid = -1;
    int pipe = -1;
    unnamedfile errors{nullptr, fclose};  // collects standard error
    unnamedfile kept{nullptr, fclose};    // collects standard output, when kept
    std::string out;
};

}  // namespace talvo::capture
