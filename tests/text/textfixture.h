#pragma once
// Text tests: a real GL context, the production's font at its raster size, and string
// textures read back. They run in the build directory, whose resources/ is the repository's.
#include <epoxy/gl.h>

#include <glm/glm.hpp>
#include <utility>
#include <vector>

#include "gl/texture.h"
#include "support/glcontext.h"
#include "text/font.h"

namespace texttests {

constexpr const char* fontname = "exmouth/exmouth_.ttf";

class texttest : public talvo::testsupport::gltest {
protected:
    void SetUp() override {
        talvo::testsupport::gltest::SetUp();
        font = talvo::Font(fontname);
        font.setsize();
    }
    void TearDown() override { glDisable(GL_BLEND); }
    int advance(char c) { return int(font.loadglyph(FT_ULong(c))->advance.x >> 6); }

    talvo::Font font;
};

using span = std::pair<int, int>;  // [first, second)

// Level 0 of a texture as RGBA bytes, row 0 first.
struct image {
    int width = 0;
    int height = 0;
    std::vector<glm::u8vec4> texels;

    bool ink(int x, int y) const { return texels[size_t(y) * size_t(width) + size_t(x)].r > 0; }
    // The runs of columns holding ink within the rows of `within`, or (columns = false) of rows
    // within those columns.
    std::vector<span> runs(bool columns, span within) const {
        std::vector<span> found;
        for (int i = 0; i < (columns ? width : height); ++i) {
            bool any = false;
            for (int j = within.first; j < within.second && !any; ++j) any = columns ? ink(i, j) : ink(j, i);
            if (!any) continue;
            if (!found.empty() && found.back().second == i) ++found.back().second;
            else found.emplace_back(i, i + 1);
        }
        return found;
    }
};

inline image readback(const talvo::Texture& t) {
    image im{t.width, t.height, std::vector<glm::u8vec4>(size_t(t.width) * size_t(t.height))};
    t.bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, im.texels.data());
    return im;
}

}  // namespace texttests
