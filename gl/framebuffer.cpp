#include "gl/framebuffer.h"

#include <algorithm>
#include <memory>

#include "diag/check.h"
#include "engine/globals.h"
#include "gl/bindings.h"
#include "gl/fsshader.h"
#include "gl/texture.h"

namespace talvo {

namespace {
void destroy(GLuint buf) {
    GLCHECKED(glDeleteFramebuffers(1, &buf));
}
}  // namespace

Framebuffer::Framebuffer(GLuint buf) : handle(buf, destroy) {}

Framebuffer Framebuffer::create() {
    GLuint buf = 0;
    GLCHECKED(glGenFramebuffers(1, &buf));
    return Framebuffer(buf);
}

Framebuffer* Framebuffer::current() {
    return bindings().framebuffer;
}

void Framebuffer::attach(const Texture& t, GLenum attachment) {
    const GLuint buf = handle.name();
    t.bind();
    handle.fields().width = t.width;
    handle.fields().height = t.height;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, buf);
    glcheck("glBindFramebuffer(GL_FRAMEBUFFER, buf);");
    glFramebufferTexture(GL_DRAW_FRAMEBUFFER, attachment, t.buf, 0);
}

void Framebuffer::attachColor(const Texture& t, int index) {
    const GLenum attachment = GL_COLOR_ATTACHMENT0 + index;
    attach(t, attachment);
    glcheck("glFramebufferTexture(GL_FRAMEBUFFER, index+GL_COLOR_ATTACHMENT0, t.buf, 0);");
    std::vector<GLenum>& buffers = handle.fields().buffers;
    if (std::find(buffers.begin(), buffers.end(), attachment) == buffers.end())
        buffers.push_back(attachment);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
}

void Framebuffer::attachDepth(const Texture& t) {
    attach(t, GL_DEPTH_ATTACHMENT);
    glcheck("glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, t.buf, 0);");
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
}

void Framebuffer::bind() {
    fields& f = handle.fields();
    const GLuint buf = handle.name();
    Framebuffer*& currentframebuffer = bindings().framebuffer;
    f.stack.push_back(currentframebuffer);
    currentframebuffer = new Framebuffer(*this);
    GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, buf));
    // A framebuffer with only a depth attachment keeps its draw buffers as they are.
    if (!f.buffers.empty()) glDrawBuffers(GLsizei(f.buffers.size()), f.buffers.data());
    glcheck("glDrawBuffers(buffers->size(), &((*buffers)[0]));");
    glViewport(0, 0, f.width, f.height);
}

void Framebuffer::unbind() {
    fields& f = handle.fields();
    // The copy this bracket held goes at the end, possibly as the framebuffer's last handle
    // (possibly this very object): nothing here touches it afterwards.
    Framebuffer*& currentframebuffer = bindings().framebuffer;
    const std::unique_ptr<Framebuffer> leaving(currentframebuffer);
    currentframebuffer = f.stack.back();
    f.stack.pop_back();
    if (currentframebuffer) {
        const fields& current = currentframebuffer->handle.fields();
        const GLuint buf = currentframebuffer->name();
        GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, buf));
        glViewport(0, 0, current.width, current.height);
        glDrawBuffers(GLsizei(current.buffers.size()), current.buffers.data());
        glcheck("glDrawBuffers(current->buffers->size(), &((*(current->buffers))[0]));");
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
        glViewport(0, 0, windowwidth, windowheight);
    }
}

void renderInto(Framebuffer& framebuffer, FSShader& pass) {
    framebuffer.bind();
    pass.display();
    glcheck("scene->display(); (This probably indicates an error either in a scene rendered in a "
            "framebuffer, or the framebuffer setup.)");
    framebuffer.unbind();
}

void renderInto(Framebuffer& framebuffer, const std::function<void()>& f) {
    framebuffer.bind();
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    f();
    glcheck("f(); (This probably indicates an error either in a scene rendered in a framebuffer, "
            "or the framebuffer setup.)");
    framebuffer.unbind();
}

}  // namespace talvo
