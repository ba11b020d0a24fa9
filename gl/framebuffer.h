#pragma once
// A framebuffer object with the bracket that renders into it. bind() begins rendering into
// the framebuffer and unbind() ends it, restoring exactly what was current at the matching
// bind: the outer framebuffer with its viewport and draw buffers, or the window. Brackets
// nest, also of one framebuffer inside itself.
//
// Copies share the GL object, the attachments' size, the draw buffers and the bracket stack.
#include <epoxy/gl.h>

#include <deque>
#include <functional>
#include <vector>

#include "gl/shared.h"

namespace talvo {

class FSShader;
class Texture;

class Framebuffer {
public:
    // An empty handle: no GL framebuffer.
    Framebuffer() = default;
    // A new framebuffer without attachments; its viewport is 1 x 1 until something is
    // attached.
    static Framebuffer create();

    // Attach before bind(): both leave the window's framebuffer bound for drawing, and the
    // texture bound on the active unit. The viewport takes the size of the texture attached
    // last. The textures stay owned by the caller.
    void attachColor(const Texture& t, int index);
    void attachDepth(const Texture& t);

    void bind();
    // Must pair with the latest bind() of this framebuffer (through any copy).
    void unbind();

    GLuint name() const { return handle.name(); }
    int width() const { return handle.fields().width; }
    int height() const { return handle.fields().height; }
    // The draw buffers: one colour attachment point per attached index, in attachment order.
    const std::vector<GLenum>& buffers() const { return handle.fields().buffers; }
    int usecount() const { return handle.usecount(); }

    // The framebuffer now rendered into, or null for the window. It is a copy owned by the
    // open bracket, so a framebuffer stays alive until its bracket closes even if every
    // other handle on it has gone.
    static Framebuffer* current();

private:
    struct fields {
        // The framebuffers that were current at each still-open bind of this one, most recent
        // last (null: the window); each entry is a copy owned by the bracket.
        std::deque<Framebuffer*> stack;
        std::vector<GLenum> buffers;
        int width = 1;
        int height = 1;
    };

    explicit Framebuffer(GLuint buf);
    void attach(const Texture& t, GLenum attachment);

    shared<GLuint, fields> handle;
};

// Renders a pass into the framebuffer. Nothing is cleared here; the pass clears itself if its
// clear flag is set.
void renderInto(Framebuffer& framebuffer, FSShader& pass);
// Clears the framebuffer's colour and depth (depth writes enabled first), then calls f inside
// the bracket.
void renderInto(Framebuffer& framebuffer, const std::function<void()>& f);

}  // namespace talvo
