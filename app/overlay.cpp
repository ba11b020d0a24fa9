#include "app/overlay.h"

#include <glm/gtc/matrix_transform.hpp>

#include "diag/check.h"
#include "engine/globals.h"
#include "text/rendertext.h"

namespace talvo {

namespace {
// Line height and margin on screen, in pixels.
constexpr float lineheight = 15.0f;
constexpr int margin = 8;
}  // namespace

overlay::overlay() : font("exmouth/exmouth_.ttf"), pass("overlay.frag", 1) {
    font.setsize();
    pass.setClear(false);
}

void overlay::layout(block& b, const std::string& text) {
    if (b.text == text && (b.texture.buf || text.empty())) return;
    b.text = text;
    b.texture = renderText(font, text);
    if (!b.texture.buf) return;
    // Laid out at the font's raster height and drawn at a small fraction of it: the mipmaps
    // that renderText made keep the shrunk glyphs smooth.
    b.texture.bind();
    GLCHECKED(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR));
}

void overlay::place(const block& b, int top, float red) {
    const float scale = lineheight / float(font.lineheight());
    const float width = float(b.texture.width) * scale / float(windowwidth);
    const float height = float(b.texture.height) * scale / float(windowheight);
    const float left = -1.0f + 2.0f * float(margin) / float(windowwidth);
    const float upper = 1.0f - 2.0f * float(top) / float(windowheight);
    const glm::mat4 card = glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(left + width, upper - height, 0.0f)),
                                      glm::vec3(width, height, 1.0f));
    pass.setTransform(card);
    pass.setTexture("text", b.texture);
    pass.setUniform("red", red);
    pass.display();
}

void overlay::draw(const std::string& lines, const std::string& alarm) {
    layout(white, lines);
    layout(red, alarm);
    // The scenes set up their own state once and rely on it from frame to frame: what the
    // overlay changes comes back afterwards.
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), blend = glIsEnabled(GL_BLEND);
    GLint source = GL_ONE, destination = GL_ZERO;
    GLCHECKED(glGetIntegerv(GL_BLEND_SRC_RGB, &source));
    GLCHECKED(glGetIntegerv(GL_BLEND_DST_RGB, &destination));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA));
    int top = margin;
    if (white.texture.buf) {
        place(white, top, 0.0f);
        top += int(float(white.texture.height) * lineheight / float(font.lineheight())) + margin / 2;
    }
    if (red.texture.buf) place(red, top, 1.0f);
    GLCHECKED(glBlendFunc(GLenum(source), GLenum(destination)));
    if (depth) GLCHECKED(glEnable(GL_DEPTH_TEST));
    if (!blend) GLCHECKED(glDisable(GL_BLEND));
}

}  // namespace talvo
