// Fonts and glyph images: one FreeType library for all live fonts, a missing font file, and
// glyph bitmaps padded to power-of-two textures.
#include <gtest/gtest.h>

#include <numeric>

#include "diag/check.h"
#include "support/glpixels.h"
#include "text/glyphimage.h"
#include "textfixture.h"

using namespace talvo;
using texttests::fontname;

namespace {

TEST(fonts, LiveFontsShareOneLibraryAndTheLastDropsIt) {
    // A missing file is named, then its check line printed (FreeType's "cannot open
    // resource", no line end); it throws, keeping no library.
    testing::internal::CaptureStderr();
    EXPECT_THROW(Font("exmouth/missing.ttf"), Log::FTException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "resources/exmouth/missing.ttf: FreeType cannot read the font (cannot open resource)\n"
              "at FT_New_Face(context->lib(), name.c_str(), 0, face) | FTERROR: 1");
    EXPECT_EQ(Font::livefonts(), 0);
    EXPECT_EQ(Font::library(), nullptr);
    {
        Font a(fontname);
        const FT_Library first = Font::library();
        const Font b(fontname), copy = a;
        EXPECT_EQ(Font::livefonts(), 2);  // a copy is the same font
        EXPECT_EQ(Font::library(), first);
        EXPECT_NE(a.face(), b.face());
        a = Font();
        EXPECT_EQ(Font::livefonts(), 2);
    }
    EXPECT_EQ(Font::livefonts(), 0);
    EXPECT_EQ(Font::library(), nullptr);
    const Font third(fontname);
    EXPECT_NE(Font::library(), nullptr);
}

class glyphs : public testsupport::gltest {};

TEST_F(glyphs, BitmapsArePaddedWithZerosToPowersOfTwo) {
    for (const auto& s : {std::pair{0, 2}, {1, 2}, {3, 4}, {5, 8}, {8, 8}, {200, 256}})
        EXPECT_EQ(glyphtexturesize(s.first), s.second) << s.first;
    const unsigned char one = 200, upward[] = {3, 4, 1, 2};  // rows stored bottom row first
    EXPECT_EQ(padglyph(&one, 1, 1, 1).bytes, std::vector<unsigned char>({200, 0, 0, 0}));

    // A 3 x 5 bitmap of the bytes 1..15, stored with rows of 3 bytes and rows of 4 (pitch).
    std::vector<unsigned char> tight(15), wide(20, 99);
    std::iota(tight.begin(), tight.end(), 1);
    for (int i = 0; i < 15; ++i) wide[size_t(i / 3 * 4 + i % 3)] = tight[size_t(i)];
    for (const glyphimage& image : {padglyph(tight.data(), 3, 5, 3), padglyph(wide.data(), 3, 5, 4),
                                    padglyph(upward, 2, 2, -2)}) {
        std::vector<unsigned char> expected({1, 2, 3, 4});
        if (image.width == 4) {
            EXPECT_EQ(image.height, 8);
            expected.assign(32, 0);
            for (int i = 0; i < 15; ++i) expected[size_t(i / 3 * 4 + i % 3)] = tight[size_t(i)];
        }
        EXPECT_EQ(image.bytes, expected);
        // Through GL: rows of 2 bytes must not be read as 4-byte aligned.
        const Texture t = glyphtexture(image);
        std::vector<unsigned char> red(image.bytes.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, red.data());
        EXPECT_EQ(red, expected);
        EXPECT_EQ(testsupport::glinteger(GL_UNPACK_ALIGNMENT), 4);
    }
}

}  // namespace
