#pragma once
// Text drawn once into a texture: renderText rasterises each character with FreeType and adds
// it into one GL_TEXTURE_2D RGBA texture through the "textrender.frag" pass.
//
// The texture holds the coverage in all four channels and is upright the way GL has images:
// its row 0 (t = 0) is the bottom of the text, so a shader sampling it with v growing upwards
// reads the text upright. The last line's baseline sits just above the deepest descender of
// the string, so no ink is cut off at the bottom.
#include <string>

#include "gl/texture.h"
#include "text/font.h"

namespace talvo {

// Each byte is one character code; bytes of 0x80 and above count as negative codes, which the
// font lacks (its missing glyph is drawn). A byte 10 starts a new line a lineheight() lower.
// A glyph that FreeType cannot load is left out, and one warning for the font (the first text
// that loses glyphs) names resources/<font>, how many characters of that text are left out,
// and the check's line. A text that would lose every character is not drawn: a line naming
// the font and the text goes to standard error and Log::FTException is thrown. Nothing here
// ends the process itself; other failed checks throw too.
//
// Leaves additive blending (glBlendFunc(GL_ONE, GL_ONE)) enabled. A string without width or
// height (empty, or only spaces) gives an empty handle (buf 0, no GL texture) that still
// carries the measured width and height.
Texture renderText(Font font, std::string text);

}  // namespace talvo
