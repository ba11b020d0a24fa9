#pragma once
// Pixels in and out of GL for tests: small RGBA8 textures to render into or sample from, single
// pixels read back from a framebuffer, and the whole window, without disturbing the draw
// binding.
#include <epoxy/gl.h>

#include <glm/glm.hpp>
#include <vector>

#include "diag/check.h"
#include "engine/globals.h"
#include "gl/texture.h"

namespace talvo::testsupport {

// A width x height RGBA8 GL_TEXTURE_2D filled with one colour, sampled nearest.
inline Texture rgba8texture(int width, int height, glm::u8vec4 fill = glm::u8vec4(0)) {
    Texture t(1, GL_RGBA8, width, height, GL_TEXTURE_2D);  // leaves it bound
    const std::vector<glm::u8vec4> pixels(size_t(width) * size_t(height), fill);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return t;
}

// Pixel (x, y) of colour attachment `attachment` of the GL framebuffer `framebuffer`, or of
// the window's back buffer for framebuffer 0.
inline glm::u8vec4 readpixel(GLuint framebuffer, int x, int y, int attachment = 0) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadBuffer(framebuffer ? GLenum(GL_COLOR_ATTACHMENT0 + attachment) : GLenum(GL_BACK));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glm::u8vec4 pixel(0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    return pixel;
}

// Every pixel of the window's back buffer (the engine's window size), RGBA8, bottom row first.
inline std::vector<glm::u8vec4> windowpixels() {
    std::vector<glm::u8vec4> pixels(size_t(windowwidth) * size_t(windowheight));
    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, 0));
    GLCHECKED(glReadBuffer(GL_BACK));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, windowwidth, windowheight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()));
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(read)));
    return pixels;
}

// The value of a single-valued GL integer state.
inline GLint glinteger(GLenum state) {
    GLint value = 0;
    glGetIntegerv(state, &value);
    return value;
}

}  // namespace talvo::testsupport
