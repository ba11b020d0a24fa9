#pragma once
// Pieces of a raw GL reference, made with plain GL calls: programs from the engine's shader
// files, copies of the vertices a scene published, and a multisampled HDR target like the
// scenes' colour target. A scene's raw draws are built from these and its own draw calls.
#include <epoxy/gl.h>

#include "cl/buffer.h"

namespace talvo::bench {

// A program of the named resource files, linked; the caller deletes it.
GLuint rawprogram(const char* vertex, const char* geometry, const char* fragment);

// A copy of a buffer of vertices (four floats each) taken once, in a vertex array of its own
// with the vertices as attribute 0.
class rawvertices {
public:
    explicit rawvertices(const Buffer<float>& published);
    ~rawvertices();
    rawvertices(const rawvertices&) = delete;
    rawvertices& operator=(const rawvertices&) = delete;

    // Every vertex, or the first ones (as a tree node draws as far as it has grown), with the
    // program already in use.
    void draw(GLenum mode) const;
    void draw(GLenum mode, int first) const;

private:
    GLuint vao = 0, vbo = 0;
    int count = 0;
};

// A multisampled GL_RGB16F texture of the given size and its framebuffer.
class rawtarget {
public:
    rawtarget(int samples, int width, int height);
    ~rawtarget();
    rawtarget(const rawtarget&) = delete;
    rawtarget& operator=(const rawtarget&) = delete;

    GLuint texture = 0, framebuffer = 0;
    int samples;
};

}  // namespace talvo::bench
