#pragma once
// The one texture type: a copyable handle on a GL texture object. Every copy shares the GL
// name and one use count; the last copy to go deletes the texture.
//
// Two uses: GL_TEXTURE_2D_MULTISAMPLE render targets, whose storage the constructor allocates,
// and GL_TEXTURE_2D textures, whose image the creator uploads while the new texture is still
// bound.
#include <epoxy/gl.h>

#include "gl/shared.h"

namespace talvo {

class Texture {
public:
    // An empty handle: no GL texture.
    Texture() = default;
    // A width or height of 0 takes the window's size at this moment. The sample count of a
    // multisampled texture is clamped to what the driver supports for both colour and depth
    // textures, so colour and depth targets made with the same request always match.
    // Leaves the texture bound on the active texture unit.
    Texture(int samples, GLenum internalformat, int width, int height, GLenum texturedims);

    // Binds to whatever texture unit is active.
    void bind() const;

    int usecount() const { return handle.usecount(); }

    // Fixed at creation; every copy carries the same values.
    GLuint buf = 0;
    int samples = 0;  // after clamping; meaningful for multisampled textures only
    GLenum internalformat = 0;
    GLenum texturedims = 0;  // GL_TEXTURE_2D_MULTISAMPLE or GL_TEXTURE_2D
    int width = 0;
    int height = 0;

    // The largest sample count usable for both colour and depth multisampled textures.
    static int maxsamples();

private:
    shared<GLuint> handle;
};

}  // namespace talvo
