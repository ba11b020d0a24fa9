#include "cl/buffer.h"

#include <stdexcept>
#include <string>

#include "cl/clcontext.h"
#include "diag/check.h"

namespace talvo {
namespace bufferdetail {

namespace {
// What copyFrom last bound as its destination, so that a steady frame re-binds it not. The
// render thread's context is the only one copyFrom runs on, and the only one that writes the
// destinations. Its sources are bound every time: the update thread's kernels change them in
// another context, and a context sees another's changes to a buffer only once it binds the
// buffer again.
GLuint copywrite = 0;

void changed(GLuint buf) {
    if (CLContext* context = CLContext::instance()) context->glchanged(buf);
}
}  // namespace

GLuint generate() {
    GLuint buf = 0;
    GLCHECKED(glGenBuffers(1, &buf));
    return buf;
}

void remove(GLuint buf) {
    if (copywrite == buf) copywrite = 0;
    if (CLContext* context = CLContext::instance()) context->forgetgl(buf);
    GLCHECKED(glDeleteBuffers(1, &buf));
}

void store(GLenum target, GLuint buf, size_t bytes, const void* data, GLenum usage) {
    GLCHECKED(glBindBuffer(target, buf));
    const CLContext* context = CLContext::instance();
    if (const size_t fixed = context ? context->fixedbytes(buf) : 0) {
        // Kernels write this storage in place: it keeps its size, and new contents go into it.
        if (bytes != fixed)
            throw std::invalid_argument("a GL buffer that kernels write keeps its size: " + std::to_string(fixed) +
                                        " bytes, not " + std::to_string(bytes));
        if (data) GLCHECKED(glBufferSubData(target, 0, GLsizeiptr(bytes), data));
        return;
    }
    GLCHECKED(glBufferData(target, GLsizeiptr(bytes), data, usage));
    changed(buf);
}

void copy(GLuint source, int sourcecount, GLuint destination, int& count, GLenum usage, int elementsize) {
    GLCHECKED(glBindBuffer(GL_COPY_READ_BUFFER, source));
    if (copywrite != destination) GLCHECKED(glBindBuffer(GL_COPY_WRITE_BUFFER, destination));
    copywrite = destination;
    if (sourcecount != count) {
        GLCHECKED(glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(sourcecount) * elementsize, nullptr, usage));
        count = sourcecount;
    }
    GLCHECKED(glCopyBufferSubData(GL_COPY_READ_BUFFER, GL_COPY_WRITE_BUFFER, 0, 0, GLsizeiptr(count) * elementsize));
    changed(destination);
}

}  // namespace bufferdetail

cl_mem sharedMem(const Buffer<float>& b) {
    return CLContext::instance()->sharedMem(b.buf(), size_t(b.size()) * sizeof(float));
}

cl_mem hostMem(float* data, int n) {
    return CLContext::instance()->hostMem(data, n);
}

}  // namespace talvo
