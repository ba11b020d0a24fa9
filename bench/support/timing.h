#pragma once
// Timing for the benchmarks: a stopwatch, the median of a series, and alternating rounds of
// several phases so that every phase sees the same load from whatever else runs on the
// machine.
#include <chrono>
#include <functional>
#include <vector>

namespace talvo::bench {

class stopwatch {
public:
    stopwatch() : start(std::chrono::steady_clock::now()) {}
    // Milliseconds since construction.
    double ms() const { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(); }

private:
    std::chrono::steady_clock::time_point start;
};

// The middle value (the upper one of an even count); at least one value.
double median(std::vector<double> values);

// `steps` rounds of every phase in turn, the production clock one update step further before
// each round. The median milliseconds of each phase, in the phases' order.
std::vector<double> alternate(int steps, const std::vector<std::function<void()>>& phases);

}  // namespace talvo::bench
