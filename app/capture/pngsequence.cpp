#include "app/capture/pngsequence.h"

#include <png.h>

namespace talvo::capture {

void pngsequence::write(const std::vector<uint8_t>& rgb) { writepng(pattern.path(next++), rgb, width, height); }

void pngsequence::writepng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // libpng writes no time stamp, so the same picture always gives the same file.
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) {
        std::string message = "cannot write " + path + ": " + image.message;
        png_image_free(&image);
        throw capturefailure(message);
    }
}

}  // namespace talvo::capture
