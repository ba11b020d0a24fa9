#include "text/font.h"

#include <set>
#include <string>
#include <utility>

#include "diag/check.h"
#include "diag/warn.h"
#include "gl/resource.h"

namespace talvo {

namespace {
// FreeType, shared by every live font: the first font initialises it, the last drops it. It
// also remembers the font files whose glyphs left out have been said, so that each is said once
// in the process, however often the production is built.
struct library {
    FT_Library handle = nullptr;
    int live = 0;
    std::set<std::string> warned;
} freetype;

// One more live font; the first initialises FreeType.
void takelibrary() {
    if (freetype.live++ > 0) return;
    const FT_Error error = FT_Init_FreeType(&freetype.handle);
    if (error) {
        --freetype.live;
        freetype.handle = nullptr;
    }
    ftcheck(error, "FT_Init_FreeType(&library);");
}

// One live font fewer; the last drops FreeType.
void droplibrary() {
    if (--freetype.live > 0) return;
    const FT_Library handle = std::exchange(freetype.handle, nullptr);
    FTCHECKED(FT_Done_FreeType(handle));
}

void destroy(FT_Face face) {
    FTCHECKED(FT_Done_Face(face));
    droplibrary();
}

// FreeType's own description of an error code (its library keeps no texts unless built to).
std::string errortext(FT_Error error) {
#undef FTERRORS_H_
#define FT_ERRORDEF(e, v, s) {e, s},
#define FT_ERROR_START_LIST {
#define FT_ERROR_END_LIST }
    static const struct {
        FT_Error code;
        const char* text;
    } texts[] =
#include FT_ERRORS_H
        ;
    for (const auto& t : texts)
        if (t.code == error) return t.text;
    return "error " + std::to_string(error);
}
}  // namespace

Font::Font(const std::string& name) {
    takelibrary();
    FT_Face face = nullptr;
    const FT_Error error = FT_New_Face(freetype.handle, resourcePath(name).c_str(), 0, &face);
    if (error) {
        // No face, no font: give the library share back before the check throws.
        droplibrary();
        resourcefailure(resourcePath(name), "FreeType cannot read the font (" + errortext(error) + ")");
    }
    ftcheck(error, "FT_New_Face(context->lib(), name.c_str(), 0, face)");
    handle = shared<FT_Face, std::string>(face, destroy, resourcePath(name));
}

void Font::setsize() {
    ftcheck(FT_Set_Pixel_Sizes(face(), 0, pixelheight), "FT_Set_Pixel_Sizes(*face, width, height)");
}

FT_GlyphSlot Font::loadglyph(FT_ULong charcode, std::string* failure) {
    const FT_Face f = face();
    const std::string line = ftfailure(FT_Load_Glyph(f, FT_Get_Char_Index(f, charcode), FT_LOAD_RENDER),
                                       "FT_Load_Glyph(*face, glyphid(charcode), flags)");
    if (line.empty()) return f->glyph;
    if (failure) *failure = line;
    return nullptr;
}

void Font::warnonce(const std::string& what) const {
    if (freetype.warned.insert(path()).second) warn(path() + ": " + what);
}

int Font::lineheight() const {
    return int(face()->size->metrics.height >> 6);
}

int Font::livefonts() {
    return freetype.live;
}

FT_Library Font::library() {
    return freetype.handle;
}

}  // namespace talvo
