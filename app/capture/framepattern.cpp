#include "app/capture/framepattern.h"

namespace talvo::capture {

std::optional<framepattern> framepattern::parse(const std::string& pattern) {
    framepattern result;
    bool found = false;
    std::string* text = &result.prefix;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            *text += pattern[i];
            continue;
        }
        if (++i >= pattern.size()) return std::nullopt;
        if (pattern[i] == '%') {
            *text += '%';
            continue;
        }
        if (found) return std::nullopt;
        found = true;
        if (pattern[i] == '0') {
            result.zeros = true;
            ++i;
        }
        size_t digits = 0;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9' && digits < 3) {
            result.width = result.width * 10 + (pattern[i] - '0');
            ++i;
            ++digits;
        }
        if (i >= pattern.size() || pattern[i] != 'd' || result.width > 20) return std::nullopt;
        text = &result.suffix;
    }
    if (!found) return std::nullopt;
    return result;
}

std::string framepattern::path(int64_t frame) const {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < width)
        number.insert(0, static_cast<size_t>(width) - number.size(), zeros ? '0' : ' ');
    return prefix + number + suffix;
}

}  // namespace talvo::capture
