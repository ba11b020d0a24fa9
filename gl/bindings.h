#pragma once
// The redundant-binding caches of each GL context: the program in use, the bound vertex array
// and the innermost framebuffer of the bind/unbind bracket. GL keeps these bindings per
// context, so the caches do too: a context made current on any thread finds its own, and one
// never seen before starts from nothing bound. Cannot end the process.
#include <epoxy/gl.h>

namespace talvo {

class Framebuffer;

struct glbindings {
    GLuint program = 0;
    GLuint vao = 0;
    Framebuffer* framebuffer = nullptr;
};

// The caches of the context current on the calling thread.
glbindings& bindings();
// A deleted program in no context's cache: programs are shared between contexts, and GL may
// give a deleted program's name to the next one.
void forgetprogram(GLuint program);

}  // namespace talvo
