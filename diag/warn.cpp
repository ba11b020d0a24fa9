#include "diag/warn.h"

#include <iostream>

namespace talvo {

void warn(const std::string& line) {
    // One insertion: lines from the two threads do not interleave mid-line.
    std::cerr << line + "\n" << std::flush;
}

}  // namespace talvo
