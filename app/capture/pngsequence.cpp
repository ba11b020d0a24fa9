#include "app/capture/pngsequence.h"

#include "app/capture/outputfile.h"
#include "app/pngfile.h"

namespace talvo::capture {

void pngsequence::write(const std::vector<uint8_t>& rgb) {
    const int64_t frame = next++;
    try {
        writepng(pattern.path(frame), rgb, width, height);
    } catch (const capturefailure& e) {
        // The frames before it are complete files, and stay.
        throw capturefailure("frame " + std::to_string(frame) + ": " + e.what());
    }
}

void pngsequence::writepng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
    std::string bytes;
    try {
        bytes = encodepng(rgb, width, height);
    } catch (const pngfailure& e) {
        throw capturefailure("cannot encode " + path + ": " + e.what());
    }
    // Written here, so that a failure says the system's reason as every output file's does.
    writefile(path, bytes);
}

}  // namespace talvo::capture
