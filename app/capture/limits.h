#pragma once
// What a capture may ask for. The command line is checked against these, and so is the label
// of a segment, which may come from another machine: a label no capture could have written is
// refused before the join does any work for it.
#include <cstdint>

#include "app/rational.h"

namespace talvo::capture {

constexpr int maxside = 16384;
constexpr int maxcrf = 51;
constexpr int64_t maxframes = 1000000000;
constexpr int64_t maxparts = 1000000;
constexpr rational maxfps{1000, 1};

}  // namespace talvo::capture
