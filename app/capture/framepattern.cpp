#include "app/capture/framepattern.h"

#include <regex>

namespace talvo::capture {

std::optional<framepattern> framepattern::parse(const std::string& pattern) {
    // Each % begins a token: %% (a %), the number (%d, %Nd or %0Nd), or, alone, a fault. The
    // pattern is matched token by token, since the regex's recursion grows with the text one
    // match spans, and a path may be as long as a command line's word.
    static const std::regex token("%(?:(%)|(0?)([0-9]{0,3})d)?");
    framepattern result;
    std::string* text = &result.prefix;
    bool numbered = false;
    auto done = pattern.begin();
    for (std::sregex_iterator at(pattern.begin(), pattern.end(), token), end; at != end; ++at) {
        const std::smatch& match = *at;
        text->append(done, match[0].first);
        done = match[0].second;
        if (match[1].matched) {
            *text += '%';
            continue;
        }
        if (match.length() == 1 || numbered) return std::nullopt;
        numbered = true;
        result.zeros = match[2].length() > 0;
        result.width = match[3].length() > 0 ? std::stoi(match[3]) : 0;
        text = &result.suffix;
    }
    text->append(done, pattern.end());
    if (!numbered || result.width > 20) return std::nullopt;
    return result;
}

std::string framepattern::path(int64_t frame) const {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < width)
        number.insert(0, static_cast<size_t>(width) - number.size(), zeros ? '0' : ' ');
    return prefix + number + suffix;
}

std::optional<int64_t> framepattern::frameof(const std::string& path) const {
    if (path.size() < prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    const std::string number = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    const size_t digits = number.find_first_not_of(' ');
    if (number.empty() || number.size() > 18 || digits == std::string::npos ||
        number.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    const int64_t frame = std::stoll(number.substr(digits));
    if (this->path(frame) != path) return std::nullopt;
    return frame;
}

}  // namespace talvo::capture
