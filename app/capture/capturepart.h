#pragma once
// A capture cut into consecutive parts, so that a long capture can be spread over processes
// or machines: part k of n (k from 1) covers the frames [first, end) of the whole range.
#include <cstdint>

namespace talvo::capture {

struct capturepart {
    int index = 1;  // from 1
    int count = 1;
    int64_t first = 0;
    int64_t end = 0;

    int64_t frames() const { return end - first; }

    // Part `index` (1 to count) of a range of `frames` frames. The parts are as nearly equal
    // as whole frames allow (they differ by at most one); with fewer frames than parts some
    // are empty.
    static capturepart of(int64_t frames, int index, int count);
};

}  // namespace talvo::capture
