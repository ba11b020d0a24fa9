#pragma once
// The capture's progress on standard error: frame n of N, where the production is, frames per
// second and the time left. On a terminal one line is redrawn in place; otherwise (a log, a
// pipe) plain lines are printed now and then.
#include <chrono>
#include <cstdint>
#include <string>

namespace talvo::capture {

class progressline {
public:
    // `prefix` starts every update line ("fast-forward: "); `verb` starts the closing line.
    explicit progressline(int64_t total, std::string prefix = "", std::string verb = "captured");

    // After frame `done` (1-based): the scene it showed and its moment in milliseconds, as
    // "frame 12 of 300 (opening 0.400 s), 5.1 fps, 0:57 left".
    void update(int64_t done, const std::string& scene, uint32_t moment);
    // The closing line, with the whole run's rate.
    void finish(int64_t done);

private:
    using clock = std::chrono::steady_clock;

    int64_t total;
    std::string prefix, verb;
    bool terminal;
    clock::time_point start = clock::now();
    clock::time_point shown;
    bool anyshown = false;
};

}  // namespace talvo::capture
