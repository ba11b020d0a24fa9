#include "app/capture/framereader.h"

#include <cstring>
#include <stdexcept>

#include "diag/check.h"

namespace talvo::capture {

framereader::framereader(int width, int height)
    : width(width), height(height), image(static_cast<size_t>(width) * height * 3, 0) {
    for (PackBuffer& buffer : buffers) buffer = PackBuffer(image.size());
}

void framereader::read() {
    if (count == 2) throw std::logic_error("framereader: both pixel buffers are queued");
    GLCHECKED(glReadBuffer(GL_BACK));
    buffers[(first + count) % 2].readpixels(width, height);
    ++count;
}

const std::vector<uint8_t>& framereader::take() {
    if (count == 0) throw std::logic_error("framereader: nothing is queued");
    const size_t row = static_cast<size_t>(width) * 3;
    // GL rows run bottom to top; pictures run top to bottom.
    buffers[first].withpixels([&](const unsigned char* pixels) {
        for (int y = 0; y < height; ++y)
            std::memcpy(image.data() + static_cast<size_t>(height - 1 - y) * row, pixels + y * row, row);
    });
    first = (first + 1) % 2;
    --count;
    return image;
}

}  // namespace talvo::capture
