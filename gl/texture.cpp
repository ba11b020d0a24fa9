#include "gl/texture.h"

#include <algorithm>

#include "diag/check.h"
#include "engine/globals.h"

namespace talvo {

namespace {
void destroy(GLuint buf) {
    GLCHECKED(glDeleteTextures(1, &buf));
}
}  // namespace

int Texture::maxsamples() {
    GLint colour = 0;
    GLint depth = 0;
    GLCHECKED(glGetIntegerv(GL_MAX_COLOR_TEXTURE_SAMPLES, &colour));
    GLCHECKED(glGetIntegerv(GL_MAX_DEPTH_TEXTURE_SAMPLES, &depth));
    return std::min(colour, depth);
}

Texture::Texture(int requestedsamples, GLenum format, int w, int h, GLenum dims)
    : samples(requestedsamples), internalformat(format), texturedims(dims) {
    glGenTextures(1, &buf);
    handle = shared<GLuint>(buf, destroy);
    width = w == 0 ? windowwidth : w;
    height = h == 0 ? windowheight : h;
    bind();
    if (texturedims == GL_TEXTURE_2D_MULTISAMPLE) {
        // More samples than the driver has is a GL error that would end the run.
        samples = std::min(samples, maxsamples());
        GLCHECKED(glTexImage2DMultisample(texturedims, samples, internalformat, width, height, GL_FALSE));
    }
}

void Texture::bind() const {
    glcheck("before glBindTexture(texturedims, buf);");
    GLCHECKED(glBindTexture(texturedims, buf));
}

}  // namespace talvo
