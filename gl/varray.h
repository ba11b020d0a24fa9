#pragma once
// A vertex array object: which GL buffer feeds which vertex attribute. Copies share the GL
// object and one use count. Every draw of the system goes through draw().
//
// The array last bound through this class is cached for its context (gl/bindings.h), so
// that repeated draws of one array bind it once.
#include <epoxy/gl.h>

#include <functional>
#include <glm/glm.hpp>

#include "gl/shared.h"

namespace talvo {

class VArray {
public:
    // An empty handle: no GL vertex array.
    VArray() = default;
    // A new vertex array with no attributes (enough for a pass whose geometry shader makes
    // the vertices).
    static VArray create();

    // Feeds attribute index from the given GL buffer: 4 components of the given type per
    // vertex, tightly packed from offset 0. The array keeps no reference to the buffer.
    void setAttribute(GLuint index, GLuint buffer, GLenum target, GLenum type);
    // glDrawArraysInstanced from vertex 0. Unchecked: callers check after their drawing.
    void draw(int count, int instances, GLenum mode);

    GLuint name() const { return handle.name(); }
    int usecount() const { return handle.usecount(); }

    // The array last bound through this class; 0 for none.
    static GLuint bound();
    // Binds no array, for owners about to change the bindings of GL buffers outside any array.
    static void unbind();

private:
    explicit VArray(GLuint vao);
    void bindvao();

    shared<GLuint> handle;
};

// What a geometry object calls to draw: its transform, its vertex array and the number of
// vertices to draw.
using drawcallback = std::function<void(glm::mat4, VArray&, int)>;

}  // namespace talvo
