#include "platform/tickcount.h"

#include <ctime>

namespace talvo::platform {

uint32_t tickcount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // keeps the low 32 bits: wraps like the original
}

}  // namespace talvo::platform
