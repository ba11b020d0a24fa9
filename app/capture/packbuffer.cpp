#include "app/capture/packbuffer.h"

#include "diag/check.h"

namespace talvo {

namespace {
void destroy(GLuint buf) { GLCHECKED(glDeleteBuffers(1, &buf)); }
}  // namespace

PackBuffer::PackBuffer(size_t bytes) : bytes(bytes) {
    GLCHECKED(glGenBuffers(1, &buf));
    handle = shared<GLuint>(buf, destroy);
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buf));
    GLCHECKED(glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_READ));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
}

void PackBuffer::readpixels(int width, int height) const {
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buf));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, nullptr));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
}

const unsigned char* PackBuffer::map() const {
    const void* pixels = nullptr;
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, buf));
    GLCHECKED(pixels = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT));
    return static_cast<const unsigned char*>(pixels);
}

void PackBuffer::unmap() const {
    GLCHECKED(glUnmapBuffer(GL_PIXEL_PACK_BUFFER));
    GLCHECKED(glBindBuffer(GL_PIXEL_PACK_BUFFER, 0));
}

}  // namespace talvo
