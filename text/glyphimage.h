#pragma once
// One glyph's coverage bitmap as it goes to GL: padded with zeros to power-of-two sizes.
#include <vector>

#include "gl/texture.h"

namespace talvo {

struct glyphimage {
    int width = 0;   // a power of two, at least 2
    int height = 0;  // a power of two, at least 2
    // width x height coverage bytes, rows in FreeType's order (top row first); 0 outside the
    // glyph.
    std::vector<unsigned char> bytes;
};

// The smallest power of two that is at least n and at least 2.
int glyphtexturesize(int n);

// The rows x width bitmap (pitch bytes from one row to the next, negative when the rows are
// stored bottom row first, as FreeType's bitmaps may be) padded to glyphtexturesize of each
// side.
glyphimage padglyph(const unsigned char* bitmap, int width, int rows, int pitch);

// A GL_TEXTURE_2D (internal format GL_RGBA) holding the image in its red channel, one level,
// clamped at the edges. Leaves it bound on the active texture unit.
Texture glyphtexture(const glyphimage& image);

}  // namespace talvo
