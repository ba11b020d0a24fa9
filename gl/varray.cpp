#include "gl/varray.h"

#include "diag/check.h"
#include "gl/bindings.h"

namespace talvo {

namespace {
void destroy(GLuint vao) {
    // GL unbinds a deleted array; the cache must not keep naming it, or a new array that
    // receives the same name would never be bound.
    // Vertex arrays belong to one context, the current one.
    if (bindings().vao == vao) bindings().vao = 0;
    GLCHECKED(glDeleteVertexArrays(1, &vao));
}
}  // namespace

VArray::VArray(GLuint vao) : handle(vao, destroy) {}

VArray VArray::create() {
    GLuint vao = 0;
    GLCHECKED(glGenVertexArrays(1, &vao));
    return VArray(vao);
}

GLuint VArray::bound() {
    return bindings().vao;
}

void VArray::unbind() {
    GLuint& bound = bindings().vao;
    if (bound == 0) return;
    glBindVertexArray(0);
    bound = 0;
}

void VArray::bindvao() {
    const GLuint vao = handle.name();
    GLuint& bound = bindings().vao;
    if (bound == vao) return;
    glBindVertexArray(vao);
    bound = vao;
}

void VArray::setAttribute(GLuint index, GLuint buffer, GLenum target, GLenum type) {
    bindvao();
    GLCHECKED(glBindBuffer(target, buffer));
    GLCHECKED(glVertexAttribPointer(index, 4, type, GL_FALSE, 0, nullptr));
    GLCHECKED(glEnableVertexAttribArray(index));
}

void VArray::draw(int count, int instances, GLenum mode) {
    bindvao();
    glDrawArraysInstanced(mode, 0, count, instances);
}

}  // namespace talvo
