#include "app/framereader.h"

#include <cstring>
#include <stdexcept>

#include "diag/check.h"

namespace talvo {

framereader::framereader(int width, int height)
    : width(width), height(height), image(static_cast<size_t>(width) * height * 3, 0) {
    GLCHECKED(glGenBuffers(2, buffers));
    for (GLuint buffer : buffers) {
        GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer));
        GLCHECKED(glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(image.size()), nullptr, GL_STREAM_READ));
    }
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
}

framereader::~framereader() { GLCHECKED(glDeleteBuffers(2, buffers)); }

void framereader::read() {
    if (count == 2) throw std::logic_error("framereader: both pixel buffers are queued");
    GLCHECKED(glReadBuffer(GL_BACK));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers[(first + count) % 2]));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, nullptr));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
    ++count;
}

const std::vector<uint8_t>& framereader::take() {
    if (count == 0) throw std::logic_error("framereader: nothing is queued");
    const void* mapped = nullptr;
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers[first]));
    GLCHECKED(mapped = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(image.size()), GL_MAP_READ_BIT));
    const auto* pixels = static_cast<const uint8_t*>(mapped);
    const size_t row = static_cast<size_t>(width) * 3;
    // GL rows run bottom to top; pictures run top to bottom.
    for (int y = 0; y < height; ++y)
        std::memcpy(image.data() + static_cast<size_t>(height - 1 - y) * row, pixels + y * row, row);
    GLCHECKED(glUnmapBuffer(GL_PIXEL_PACK_BUFFER));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
    first = (first + 1) % 2;
    --count;
    return image;
}

}  // namespace talvo
