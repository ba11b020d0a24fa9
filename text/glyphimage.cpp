#include "text/glyphimage.h"

#include <algorithm>
#include <cstdlib>

#include "diag/check.h"

namespace talvo {

int glyphtexturesize(int n) {
    int size = 2;
    while (size < n) size *= 2;
    return size;
}

glyphimage padglyph(const unsigned char* bitmap, int width, int rows, int pitch) {
    glyphimage image;
    image.width = glyphtexturesize(width);
    image.height = glyphtexturesize(rows);
    image.bytes.assign(size_t(image.width) * size_t(image.height), 0);
    for (int i = 0; i < rows; ++i) {
        const unsigned char* row =
            bitmap + (pitch >= 0 ? i : rows - 1 - i) * std::ptrdiff_t(std::abs(pitch));
        std::copy(row, row + width, image.bytes.begin() + std::ptrdiff_t(i) * image.width);
    }
    return image;
}

Texture glyphtexture(const glyphimage& image) {
    Texture t(1, GL_RGBA, image.width, image.height, GL_TEXTURE_2D);  // leaves it bound
    // Rows of one or two bytes are not 4-byte aligned: read them tightly packed.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RED, GL_UNSIGNED_BYTE,
                 image.bytes.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glcheck("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RED, GL_UNSIGNED_BYTE, "
            "image.bytes.data()) and its parameters");
    return t;
}

}  // namespace talvo
