#pragma once
// Maker mode's overlay: lines of text in the window's top-left corner, over the tone-mapped
// picture, on a darkened backdrop; white, and an alarm line in red. Drawn with the text layer:
// the lines become a texture when they change, shrunk to a small size by its mipmaps. Render
// thread only; can end the process through a failed check, like any GL code.
#include <string>

#include "gl/fsshader.h"
#include "gl/texture.h"
#include "text/font.h"

namespace talvo {

class overlay {
public:
    overlay();

    // Draws `lines` (separated by '\n') and, under them, `alarm` in red (none when empty) into
    // the window's default framebuffer. A text that differs from the last one drawn is laid
    // out anew.
    void draw(const std::string& lines, const std::string& alarm);

private:
    // One block of text and the texture it was laid out into.
    struct block {
        std::string text;
        Texture texture;
    };
    void layout(block& b, const std::string& text);
    // Draws a block's texture with its top-left corner `top` pixels below the window's top.
    void place(const block& b, int top, float red);

    Font font;
    FSShader pass;
    block white, red;
};

}  // namespace talvo
