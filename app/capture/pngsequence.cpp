#include "app/capture/pngsequence.h"

#include <png.h>

#include "app/capture/outputfile.h"

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
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // Encoded in memory, so that writing the file reports the system's reason when it fails,
    // in one pass into room for the largest file the picture can give. libpng writes no time
    // stamp, so the same picture always gives the same file.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr)) {
        std::string message = "cannot encode " + path + ": " + image.message;
        png_image_free(&image);
        throw capturefailure(message);
    }
    bytes.resize(size);
    writefile(path, bytes);
}

}  // namespace talvo::capture
