#include "app/capture/capturestats.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace talvo::capture {

namespace {
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}
}  // namespace

capturestats::capturestats(std::vector<std::string> scenes) {
    for (std::string& name : scenes) figures.push_back({std::move(name), {}, {}});
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
    std::string out = "{\n  \"scenes\": {";
    bool first = true;
    for (const scene& s : figures) {
        if (s.steps.empty() && s.displays.empty()) continue;
        out += first ? "\n" : ",\n";
        first = false;
        out += "    \"" + s.name + "\": {\"frames\": " + std::to_string(s.displays.size()) +
               ", \"steps\": " + std::to_string(s.steps.size()) + ", \"update_mean_ms\": " + number(mean(s.steps)) +
               ", \"update_median_ms\": " + number(median(s.steps)) +
               ", \"display_mean_ms\": " + number(mean(s.displays)) +
               ", \"display_median_ms\": " + number(median(s.displays)) + "}";
    }
    out += first ? "}\n}\n" : "\n  }\n}\n";
    return out;
}

}  // namespace talvo::capture
