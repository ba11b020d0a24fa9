#include "text/rendertext.h"

#include <algorithm>
#include <glm/glm.hpp>

#include "diag/check.h"
#include "gl/framebuffer.h"
#include "gl/fsshader.h"
#include "gl/resource.h"
#include "text/glyphimage.h"

namespace talvo {

namespace {

// Bytes are signed when they become codes: 0x80 and above map to no character.
FT_ULong charcode(char c) {
    return FT_ULong(long(static_cast<signed char>(c)));
}

int advance(FT_GlyphSlot slot) {
    return int(slot->advance.x >> 6);
}

// The layout, the same in both passes. Width: the furthest the pen gets on any line. Lines: at
// a byte 10 the pen goes back to x = 0 and the baseline moves down by the face's line height
// (face->size->metrics.height, whole pixels). The last line's baseline sits `descent` rows
// above the bottom edge (the deepest ink below any baseline, so no descender is cut off), each
// earlier line one line height higher. Height: the last line's offset plus the largest
// bitmap_top + rows of any glyph, or more where the deepest descender and the highest ascender
// would not both fit.
struct layout {
    int width = 0;
    int height = 0;
    int lineheight = 0;
    int lastline = 0;  // line offset of the last line: line breaks x line height
    int descent = 0;   // the deepest ink below a baseline
    // Characters other than line breaks, those whose glyph FreeType cannot load (left out),
    // and the check's line of the first of those.
    int characters = 0;
    int leftout = 0;
    std::string failure;
};

layout measure(Font& font, const std::string& text) {
    layout l;
    l.lineheight = font.lineheight();
    int x = 0;
    int tallest = 0;
    int ascent = 0;
    for (const char c : text) {
        l.width = std::max(l.width, x);
        if (c == '\n') {
            x = 0;
            l.lastline += l.lineheight;
            continue;
        }
        ++l.characters;
        std::string failure;
        const FT_GlyphSlot slot = font.loadglyph(charcode(c), &failure);
        if (!slot) {
            if (l.leftout++ == 0) l.failure = failure;
            continue;
        }
        x += advance(slot);
        const int top = slot->bitmap_top;
        const int rows = int(slot->bitmap.rows);
        tallest = std::max(tallest, top + rows);
        if (rows > 0 && slot->bitmap.width > 0) {
            ascent = std::max(ascent, top);
            l.descent = std::max(l.descent, rows - top);
        }
    }
    l.width = std::max(l.width, x);
    l.height = l.lastline + std::max(tallest, l.descent + ascent);
    return l;
}

// Glyphs FreeType cannot load are left out of the text, and said once for the font. A text
// that would lose all of them cannot be shown at all: that ends the run.
void reportleftout(Font& font, const std::string& text, const layout& l) {
    std::string quoted = text;
    std::replace(quoted.begin(), quoted.end(), '\n', ' ');
    quoted = "\"" + quoted + "\"";
    if (l.leftout == l.characters) {
        resourcefailure(font.path(), "none of the " + std::to_string(l.characters) + " characters of " + quoted +
                                         " can be loaded (" + l.failure + ")");
        throw Log::FTException();
    }
    font.warnonce(std::to_string(l.leftout) + " of the " + std::to_string(l.characters) + " characters of " +
                  quoted + " cannot be loaded and " + (l.leftout == 1 ? "is" : "are") + " left out (" + l.failure +
                  ")");
}

// The texture of a string with nothing to draw: no storage, since a 0-sized attachment would
// be a GL error.
Texture notexture(int width, int height) {
    Texture none;
    none.samples = 1;
    none.internalformat = GL_RGBA;
    none.texturedims = GL_TEXTURE_2D;
    none.width = width;
    none.height = height;
    return none;
}

// The string's RGBA target, clamped and linearly filtered, its storage undefined.
Texture stringtarget(int width, int height) {
    Texture target(1, GL_RGBA, width, height, GL_TEXTURE_2D);  // leaves it bound
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glcheck("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr) and its "
            "parameters");
    return target;
}

// Adds the glyph in `slot`, its pen at `x` on a baseline `baseline` rows above the bottom edge,
// onto the target. Rectangles are given in the target's 0..1 coordinates measured from its
// top-left corner, y growing downwards as text is read (textrender.frag turns them into GL's
// bottom-up rows): a baseline `baseline` rows above the bottom edge is at 1 - baseline/height.
void drawglyph(FSShader& pass, Framebuffer& framebuffer, Texture& target, FT_GlyphSlot slot, int x, int baseline) {
    const FT_Bitmap& bitmap = slot->bitmap;
    const glyphimage image = padglyph(bitmap.buffer, int(bitmap.width), int(bitmap.rows), bitmap.pitch);
    const Texture glyph = glyphtexture(image);
    const int left = x + slot->bitmap_left;
    const int top = baseline + slot->bitmap_top;  // rows above the bottom edge
    const float width = float(target.width);
    const float height = float(target.height);

    pass.setClear(false);
    pass.program().use();
    pass.setTexture("glyph", glyph);
    pass.program().setUniform("pos", glm::vec2(float(left) / width, float(0 - top) / height + 1.0f));
    pass.program().setUniform("size", glm::vec2(float(image.width) / width, float(image.height) / height));
    GLCHECKED(glScissor(left, top - image.height, image.width, image.height));
    framebuffer.attachColor(target, 0);
    renderInto(framebuffer, pass);
}

}  // namespace

Texture renderText(Font font, std::string text) {
    const layout l = measure(font, text);
    if (l.leftout > 0) reportleftout(font, text, l);
    if (l.width == 0 || l.height == 0) return notexture(l.width, l.height);
    Texture target = stringtarget(l.width, l.height);

    FSShader pass("textrender.frag", 1);
    Framebuffer framebuffer = Framebuffer::create();
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));

    // The pass covers the whole target; a scissor box around each glyph's rectangle keeps its
    // draw to its own pixels, so the cost of a glyph does not grow with the string. The
    // caller's scissor state comes back at the end.
    const GLboolean scissored = glIsEnabled(GL_SCISSOR_TEST);
    GLint scissor[4] = {0, 0, 0, 0};
    GLCHECKED(glGetIntegerv(GL_SCISSOR_BOX, scissor));

    // New storage is undefined: the glyphs are added onto zeros. glClearBuffer leaves the
    // caller's clear colour alone.
    GLCHECKED(glDisable(GL_SCISSOR_TEST));
    framebuffer.attachColor(target, 0);
    framebuffer.bind();
    const GLfloat zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    GLCHECKED(glClearBufferfv(GL_COLOR, 0, zero));
    framebuffer.unbind();
    GLCHECKED(glEnable(GL_SCISSOR_TEST));

    int x = 0;
    int baseline = l.descent + l.lastline;
    for (const char c : text) {
        if (c == '\n') {
            x = 0;
            baseline -= l.lineheight;
            continue;
        }
        const FT_GlyphSlot slot = font.loadglyph(charcode(c));  // null for one left out
        if (!slot) continue;
        if (c != ' ') drawglyph(pass, framebuffer, target, slot, x, baseline);
        x += advance(slot);
    }

    GLCHECKED(glScissor(scissor[0], scissor[1], scissor[2], scissor[3]));
    if (!scissored) GLCHECKED(glDisable(GL_SCISSOR_TEST));

    target.bind();
    GLCHECKED(glGenerateMipmap(GL_TEXTURE_2D));
    return target;
}

}  // namespace talvo
