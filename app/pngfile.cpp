#include "app/pngfile.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace talvo {

std::string encodepng(const std::vector<uint8_t>& rgb, int width, int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // In one pass into room for the largest file the picture can give.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw pngfailure(message);
    }
    bytes.resize(size);
    return bytes;
}

void writepng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
    const std::string bytes = encodepng(rgb, width, height);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw pngfailure(std::strerror(errno));
}

}  // namespace talvo
