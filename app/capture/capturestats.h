#pragma once
// Per-scene timings of a capture: how long each update step and each display took, in
// milliseconds of wall-clock time, written as JSON for the performance work.
#include <cstdint>
#include <string>
#include <vector>

namespace talvo::capture {

class capturestats {
public:
    // scenes: the names of the schedule's items, in play order.
    explicit capturestats(std::vector<std::string> scenes);

    void step(unsigned scene, double ms);
    // A drawn frame at `moment` (production milliseconds) whose display took `ms`.
    void frame(unsigned scene, uint32_t moment, double ms);

    // {"scenes": {"<name>": {"frames": n, "steps": n, "update_mean_ms": x, "update_median_ms": x,
    //  "display_mean_ms": x, "display_median_ms": x}, ...}, "timeline": [[s, update_ms,
    //  display_ms], ...]}: the scenes in play order, only those that ran a step or showed a
    // frame; then each drawn frame's production time in seconds, the mean of the update steps
    // run since the frame before (0 where none ran) and its display; times to the microsecond.
    std::string json() const;

    static double mean(const std::vector<double>& values);
    static double median(std::vector<double> values);

private:
    struct scene {
        std::string name;
        std::vector<double> steps, displays;
    };
    struct drawn {
        uint32_t moment;
        double update, display;
    };
    std::vector<scene> figures;
    std::vector<drawn> timeline;
    std::vector<double> pending;  // the steps since the last drawn frame
};

}  // namespace talvo::capture
