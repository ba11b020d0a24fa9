#include "app/capture/framepattern.h"

#include <regex>

namespace talvo::capture {

namespace {
// %% stands for %.
std::string unescaped(const std::string& text) { return std::regex_replace(text, std::regex("%%"), "%"); }
}  // namespace

std::optional<framepattern> framepattern::parse(const std::string& pattern) {
    // Text without a single %, then %d, %Nd or %0Nd, then text without a single % again.
    static const std::regex form("((?:[^%]|%%)*)%(0?)([0-9]{0,3})d((?:[^%]|%%)*)");
    std::smatch parts;
    if (!std::regex_match(pattern, parts, form)) return std::nullopt;
    framepattern result;
    result.prefix = unescaped(parts[1]);
    result.zeros = parts[2].length() > 0;
    result.width = parts[3].length() > 0 ? std::stoi(parts[3]) : 0;
    result.suffix = unescaped(parts[4]);
    if (result.width > 20) return std::nullopt;
    return result;
}

std::string framepattern::path(int64_t frame) const {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < width)
        number.insert(0, static_cast<size_t>(width) - number.size(), zeros ? '0' : ' ');
    return prefix + number + suffix;
}

}  // namespace talvo::capture
