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

// A tone-mapping pass ("null.vert", "fsquad.geom" and the given fragment shader) drawn with
// plain GL: one point without attributes that the geometry stage turns into the full-screen
// quad.
class rawpass {
public:
    explicit rawpass(const char* fragment = "hdr.frag");
    ~rawpass();
    rawpass(const rawpass&) = delete;
    rawpass& operator=(const rawpass&) = delete;

    // Makes the program current, for uniforms beyond the ones draw sets.
    GLuint use() const;
    // Tone-maps `from` into whatever framebuffer is bound ("tex", "samples", "maxbright",
    // "exposure", "m" the identity). Blending and clearing are the caller's.
    void draw(const rawtarget& from, float maxbright, float exposure) const;

private:
    GLuint program = 0, empty = 0;
};

}  // namespace talvo::bench
