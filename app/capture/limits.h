#pragma once
// What a capture may ask for. The command line is checked against these, and so is the label
// of a segment, which may come from another machine: a label no capture could have written is
// refused before the join does any work for it.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/rational.h"

namespace talvo::capture {

constexpr int maxside = 16384;
constexpr int maxcrf = 51;
constexpr int64_t maxframes = 1000000000;
constexpr int64_t maxparts = 1000000;
constexpr rational maxfps{1000, 1};

// A whole number of digits only, from `low` to `high`; empty for any other text.
inline std::optional<int64_t> parsecount(const std::string& text, int64_t low, int64_t high) {
    std::optional<rational> value = parsedecimal(text);
    if (!value || value->den != 1 || text.find('.') != std::string::npos) return std::nullopt;
    if (value->num < low || value->num > high) return std::nullopt;
    return value->num;
}

// Two such numbers with `separator` between them ("640x360", "2/4").
inline std::optional<std::pair<int64_t, int64_t>> parsepair(const std::string& text, char separator, int64_t low,
                                                             int64_t high) {
    const size_t at = text.find(separator);
    if (at == std::string::npos) return std::nullopt;
    std::optional<int64_t> a = parsecount(text.substr(0, at), low, high), b = parsecount(text.substr(at + 1), low, high);
    if (!a || !b) return std::nullopt;
    return std::make_pair(*a, *b);
}

}  // namespace talvo::capture
