#include "gl/varray.h"

#include "diag/check.h"

namespace talvo {

namespace {
GLuint boundvao = 0;

void destroy(GLuint vao) {
    // GL unbinds a deleted array; the cache must not keep naming it, or a new array that
    // receives the same name would never be bound.
    if (boundvao == vao) boundvao = 0;
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
    return boundvao;
}

void VArray::unbind() {
    if (boundvao == 0) return;
    glBindVertexArray(0);
    boundvao = 0;
}

void VArray::bindvao() {
    const GLuint vao = handle.name();
    if (boundvao == vao) return;
    glBindVertexArray(vao);
    boundvao = vao;
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
