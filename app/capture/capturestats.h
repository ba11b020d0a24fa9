#pragma once
// Per-scene timings of a capture: how long each update step and each display took, in
// milliseconds of wall-clock time, written as JSON for the performance work.
#include <string>
#include <vector>

namespace talvo::capture {

class capturestats {
public:
    // scenes: the names of the schedule's items, in play order.
    explicit capturestats(std::vector<std::string> scenes);

    void step(unsigned scene, double ms) { figures[scene].steps.push_back(ms); }
    void frame(unsigned scene, double ms) { figures[scene].displays.push_back(ms); }

    // {"scenes": {"<name>": {"frames": n, "steps": n, "update_mean_ms": x, "update_median_ms": x,
    //  "display_mean_ms": x, "display_median_ms": x}, ...}}, scenes in play order, only those
    // that ran a step or showed a frame; times to the microsecond.
    std::string json() const;

    static double mean(const std::vector<double>& values);
    static double median(std::vector<double> values);

private:
    struct scene {
        std::string name;
        std::vector<double> steps, displays;
    };
    std::vector<scene> figures;
};

}  // namespace talvo::capture
