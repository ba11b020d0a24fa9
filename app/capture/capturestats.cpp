#include "app/capture/capturestats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <nlohmann/json.hpp>

namespace talvo::capture {

namespace {
// Milliseconds to the microsecond: finer figures are noise.
double rounded(double ms) { return std::round(ms * 1000) / 1000; }
}  // namespace

capturestats::capturestats(std::vector<std::string> scenes) {
    for (std::string& name : scenes) figures.push_back({std::move(name), {}, {}});
}

void capturestats::step(unsigned scene, double ms) {
    figures[scene].steps.push_back(ms);
    pending.push_back(ms);
}

void capturestats::frame(unsigned scene, uint32_t moment, double ms) {
    figures[scene].displays.push_back(ms);
    timeline.push_back({moment, mean(pending), ms});
    pending.clear();
}

double capturestats::mean(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

double capturestats::median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + half, values.end());
    double upper = values[half];
    if (values.size() % 2) return upper;
    double lower = *std::max_element(values.begin(), values.begin() + half);
    return (lower + upper) / 2;
}

std::string capturestats::json() const {
    // Ordered: the scenes stay in play order, and each scene's figures in the order read.
    nlohmann::ordered_json scenes = nlohmann::ordered_json::object();
    for (const scene& s : figures) {
        if (s.steps.empty() && s.displays.empty()) continue;
        scenes[s.name] = {{"frames", s.displays.size()},
                          {"steps", s.steps.size()},
                          {"update_mean_ms", rounded(mean(s.steps))},
                          {"update_median_ms", rounded(median(s.steps))},
                          {"display_mean_ms", rounded(mean(s.displays))},
                          {"display_median_ms", rounded(median(s.displays))}};
    }
    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (const drawn& d : timeline) frames.push_back({d.moment / 1000.0, rounded(d.update), rounded(d.display)});
    return nlohmann::ordered_json{{"scenes", scenes}, {"timeline", frames}}.dump(2) + "\n";
}

}  // namespace talvo::capture
