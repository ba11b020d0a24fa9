#pragma once
// A file-size limit (ulimit -f) too low for the OpenCL compiler, which writes files of over
// 1 MiB while the production starts (docs/capture.md) and under a lower limit ends the
// process from within the driver, silently, before any frame. Header only, for the player and
// the capture alike.
#include <sys/resource.h>

#include <string>

namespace talvo {

// Why the limit is too low, or empty when there is none or it is high enough.
inline std::string filesizerefusal() {
    constexpr rlim_t needed = rlim_t(2) << 20;
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return "";
    return "the file-size limit (ulimit -f) is " + std::to_string(limit.rlim_cur / 1024) + " KiB, below the " +
           std::to_string(needed / 1024) + " KiB that the OpenCL compiler needs for its files";
}

}  // namespace talvo
