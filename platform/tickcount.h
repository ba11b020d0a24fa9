#pragma once
// The system millisecond tick counter: milliseconds from a monotonic clock, as a 32-bit
// unsigned count that wraps about every 49.7 days, like the counter the engine was made for.
#include <cstdint>

namespace talvo::platform {

uint32_t tickcount();

}  // namespace talvo::platform
