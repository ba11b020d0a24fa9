// Strings drawn into textures: sizes, what is drawn where and which way up, and line breaks.
#include <gtest/gtest.h>

#include "diag/check.h"
#include "support/glpixels.h"
#include "text/rendertext.h"
#include "textfixture.h"

using namespace talvo;
using texttests::image;
using texttests::readback;
using texttests::span;
using testsupport::glinteger;

namespace {

class text : public texttests::texttest {};

TEST_F(text, StringsWithoutInkMeasureButMakeNoGLTexture) {
    const Texture empty = renderText(font, "");
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 0);
    ASSERT_EQ(font.loadglyph(' ')->bitmap.rows, 0u);  // this font's space has no bitmap
    const Texture spaces = renderText(font, "   ");
    EXPECT_EQ(spaces.width, 3 * advance(' '));
    EXPECT_EQ(spaces.height, 0);
    for (const Texture& t : {empty, spaces, renderText(font, "\n")}) EXPECT_EQ(t.buf, 0u);
    EXPECT_NO_THROW(glcheck("text without ink"));
}

TEST_F(text, OnlyTheGlyphsInkReachesTheTexture) {
    const image im = readback(renderText(font, "I"));
    EXPECT_EQ(glinteger(GL_BLEND), GL_TRUE);  // left for the caller
    EXPECT_EQ(glinteger(GL_BLEND_DST_ALPHA), GL_ONE);
    EXPECT_EQ(glinteger(GL_SCISSOR_TEST), GL_FALSE);

    // The coverage in all four channels, and nothing but the glyph's coverage: the storage
    // was cleared first.
    const FT_Bitmap& bitmap = font.loadglyph('I')->bitmap;
    long glyphsum = 0, sum = 0;
    for (unsigned i = 0; i < bitmap.rows * bitmap.width; ++i)
        glyphsum += bitmap.buffer[i / bitmap.width * unsigned(bitmap.pitch) + i % bitmap.width];
    for (const glm::u8vec4& texel : im.texels) {
        ASSERT_EQ(texel, glm::u8vec4(texel.r));
        sum += texel.r;
    }
    EXPECT_EQ(sum, glyphsum);
}

TEST_F(text, TheTextIsUprightWithRowZeroAtTheBottom) {
    const image im = readback(renderText(font, "I-p"));
    const std::vector<span> glyphs = im.runs(true, {0, im.height});
    ASSERT_EQ(glyphs.size(), 3u);
    const span I = im.runs(false, glyphs[0])[0], dash = im.runs(false, glyphs[1])[0],
               p = im.runs(false, glyphs[2])[0];
    auto length = [](span s) { return s.second - s.first; };
    EXPECT_GT(length(I), 3 * length(glyphs[0]));     // tall and narrow
    EXPECT_GT(length(glyphs[1]), 2 * length(dash));  // short and wide
    // The dash lies in the lower half of the I, above its foot: rows grow upwards.
    EXPECT_GT(dash.first, I.first);
    EXPECT_LT(dash.second, I.first + length(I) / 2);
    // The p's descender reaches down to row 0, whole; the baseline is lifted to make room.
    const FT_GlyphSlot slot = font.loadglyph('p');
    EXPECT_EQ(p, span(0, int(slot->bitmap.rows)));
    EXPECT_EQ(I.first, int(slot->bitmap.rows) - slot->bitmap_top);
}

TEST_F(text, HighBytesDrawTheMissingGlyph) {
    ASSERT_EQ(FT_Get_Char_Index(font.face(), 1), 0u);  // code 1 is not in the font
    const image missing = readback(renderText(font, "\x01"));
    ASSERT_FALSE(missing.runs(true, {0, missing.height}).empty());  // it has ink
    for (const char* s : {"\x80", "\xff"}) {
        const image im = readback(renderText(font, s));
        EXPECT_EQ(im.width, missing.width);
        EXPECT_TRUE(im.texels == missing.texels) << int(s[0]);
    }
}

// A font whose glyphs FreeType cannot load (here: too large to rasterise; the space, which has
// no outline, still loads) is named once, with what it left out of the first text that lost
// glyphs; a text that would lose them all ends the run.
TEST_F(text, GlyphsThatFailToLoadAreLeftOutAndSaidOnceATextLosingAllOfThemEnds) {
    Font huge(texttests::fontname), another(texttests::fontname);
    for (const Font& f : {huge, another}) ASSERT_EQ(FT_Set_Pixel_Sizes(f.face(), 0, 100000), 0);
    const FT_Error error = FT_Load_Glyph(huge.face(), FT_Get_Char_Index(huge.face(), 'A'), FT_LOAD_RENDER);
    ASSERT_NE(error, 0);
    const std::string check =
        " (at FT_Load_Glyph(*face, glyphid(charcode), flags) | FTERROR: " + std::to_string(error) + ")\n";
    testing::internal::CaptureStderr();
    EXPECT_EQ(renderText(huge, "A A").height, 0);
    renderText(another, "B B");  // the same file: nothing more is said
    EXPECT_THROW(renderText(huge, "AB"), Log::FTException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "resources/exmouth/exmouth_.ttf: 2 of the 3 characters of \"A A\" cannot be loaded and are left out" +
                  check + "resources/exmouth/exmouth_.ttf: none of the 2 characters of \"AB\" can be loaded" + check);
}

TEST_F(text, ALineBreakStartsTheNextLineOneLineHeightLower) {
    const int step = font.lineheight();
    const image I = readback(renderText(font, "I")), dash = readback(renderText(font, "-")),
                two = readback(renderText(font, "I\n-"));
    EXPECT_EQ(two.height, I.height + step);
    EXPECT_EQ(two.width, std::max(advance('I'), advance('-')));

    // The dash, on the last line, lies exactly where it lies alone (the pen went back to the
    // left); the I lies one line height above its place alone.
    const std::vector<span> rows = two.runs(false, {0, two.width});
    const span Irows = I.runs(false, {0, I.width})[0];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], dash.runs(false, {0, dash.width})[0]);
    EXPECT_EQ(two.runs(true, rows[0]), dash.runs(true, {0, dash.height}));
    EXPECT_EQ(rows[1], span(Irows.first + step, Irows.second + step));
    EXPECT_EQ(two.runs(true, rows[1]), I.runs(true, {0, I.height}));
}

}  // namespace
