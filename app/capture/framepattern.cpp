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

}  // namespace talvo::capture
