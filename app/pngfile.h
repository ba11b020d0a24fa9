#pragma once
// The one PNG writer: F12's saved frames and the capture's frames are encoded here, so that
// the same picture gives the same file byte for byte. Cannot end the process.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvo {

// Thrown with libpng's or the system's reason.
struct pngfailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An 8-bit RGB picture, rows top first, as a PNG file's bytes. No time stamp is written, so
// the same picture always gives the same bytes.
std::string encodepng(const std::vector<uint8_t>& rgb, int width, int height);
// Encodes and writes the picture to `path`.
void writepng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

}  // namespace talvo
