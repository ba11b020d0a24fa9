#pragma once
// Where captured frames go: PNG files or a video encoder.
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace talvo::capture {

// Writing the frames failed; what() says why (status 1).
struct capturefailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class framesink {
public:
    virtual ~framesink() = default;
    // The next frame: RGB, top row first. Throws capturefailure.
    virtual void write(const std::vector<uint8_t>& rgb) = 0;
    // After the last frame: completes the output. Throws capturefailure.
    virtual void finish() = 0;
};

}  // namespace talvo::capture
