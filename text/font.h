#pragma once
// A TrueType font read with FreeType: a copyable handle whose copies share one use count and
// the face. The last copy to go lets go of the face.
//
// One FreeType library serves every font: the first live font initialises it and the last one
// to go drops it, so a font made after that initialises FreeType again. Nothing here ends the
// process itself: a failed check throws Log::FTException.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "gl/shared.h"

namespace talvo {

class Font {
public:
    // The raster height of every glyph, in pixels.
    static constexpr int pixelheight = 200;

    // An empty handle: no face.
    Font() = default;
    // Opens resources/<name>. A file FreeType cannot open prints a line naming it and why,
    // then its check line, and throws Log::FTException, leaving the live-font count as it was.
    explicit Font(const std::string& name);

    // Rasterises at pixelheight from now on; call once before rendering text.
    void setsize();
    // Renders the glyph of a character code into the face's glyph slot and returns the slot.
    // Codes the font does not map give its missing glyph. When FreeType cannot load it: null,
    // and the check's line ("at FT_Load_Glyph(...) | FTERROR: <code>") goes to `failure`;
    // nothing is printed.
    FT_GlyphSlot loadglyph(FT_ULong charcode, std::string* failure = nullptr);
    // "resources/<name>".
    const std::string& path() const { return handle.fields(); }
    // Writes "resources/<name>: <what>" on standard error the first time it is called for
    // the font's file in this process (any font made from it, in any pass of a loop), and
    // nothing after that: glyphs left out are said once.
    void warnonce(const std::string& what) const;
    // The distance between two baselines at the current size, in whole pixels.
    int lineheight() const;

    FT_Face face() const { return handle.name(); }
    int usecount() const { return handle.usecount(); }

    // Fonts alive now (each counted once, however many copies it has), and the FreeType
    // library they share (null while there are none).
    static int livefonts();
    static FT_Library library();

private:
    shared<FT_Face, std::string> handle;  // and the path
};

}  // namespace talvo
