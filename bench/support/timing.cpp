#include "bench/support/timing.h"

#include <algorithm>

#include "engine/globals.h"

namespace talvo::bench {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<double> alternate(int steps, const std::vector<std::function<void()>>& phases) {
    std::vector<std::vector<double>> times(phases.size());
    for (int i = 0; i < steps; ++i) {
        updatetime += steplength;
        for (size_t p = 0; p < phases.size(); ++p) {
            const stopwatch watch;
            phases[p]();
            times[p].push_back(watch.ms());
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& series : times) medians.push_back(median(series));
    return medians;
}

}  // namespace talvo::bench
