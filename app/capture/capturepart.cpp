#include "app/capture/capturepart.h"

namespace talvo::capture {

capturepart capturepart::of(int64_t frames, int index, int count) {
    using wide = __int128;
    const auto boundary = [&](int k) { return static_cast<int64_t>(wide(frames) * k / count); };
    return {index, count, boundary(index - 1), boundary(index)};
}

}  // namespace talvo::capture
