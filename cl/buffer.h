#pragma once
// GL buffer objects that kernels write and GL draws, and the lookups of their OpenCL memory
// objects.
//
// Buffer<T> is a copyable handle: copies share the GL buffer and its element count, and the
// last copy deletes the buffer (and the memory object OpenCL had for it). A buffer has no
// storage until upload, allocate or a copyFrom into it. Once a kernel has been given a buffer
// its storage keeps its size: only display buffers, which OpenCL never sees, are re-sized.
// Nothing here ends the process itself; a failed GL check throws (diag/check.h), and so does
// re-sizing a buffer whose storage kernels write in place (std::invalid_argument).
#include <epoxy/gl.h>

#include <vector>

#include "cl/opencl.h"
#include "diag/warn.h"
#include "gl/shared.h"

namespace talvo {

class BufferBase {
public:
    // Elements the storage holds.
    virtual int size() const = 0;
    virtual ~BufferBase() = default;
};

template <typename T>
struct glcomponent;
template <>
struct glcomponent<float> {
    static constexpr GLenum type = GL_FLOAT;
};

namespace bufferdetail {
GLuint generate();
void remove(GLuint buf);
void store(GLenum target, GLuint buf, size_t bytes, const void* data, GLenum usage);
void copy(GLuint source, int sourcecount, GLuint destination, int& count, GLenum usage, int elementsize);
}  // namespace bufferdetail

template <typename T>
class Buffer : public BufferBase {
public:
    // A new GL buffer without storage (needs a current GL context).
    Buffer() : handle(bufferdetail::generate(), bufferdetail::remove) {}

    int size() const override { return handle.fields().count; }
    GLuint buf() const { return handle.name(); }
    int usecount() const { return handle.usecount(); }

    // New storage holding the n elements.
    void upload(const T* data, int n) {
        bufferdetail::store(target, buf(), size_t(n) * elementsize, data, usage);
        handle.fields().count = n;
    }
    void upload(const std::vector<T>& data) { upload(data.data(), int(data.size())); }
    // New storage for n elements, contents undefined until a kernel or a copy writes them.
    void allocate(int n) {
        bufferdetail::store(target, buf(), size_t(n) * elementsize, nullptr, usage);
        handle.fields().count = n;
    }
    // Makes this buffer a GPU-side copy of source, re-sizing it only when the counts differ.
    // Buffers of different target, type or element size are not copied: a warning says so and
    // the run goes on.
    void copyFrom(const Buffer& source) {
        if (source.target != target || source.type != type || source.elementsize != elementsize) {
            warn("Buffer copy attempted on incompatible buffer types!");
            return;
        }
        bufferdetail::copy(source.buf(), source.size(), buf(), handle.fields().count, usage, elementsize);
    }

    GLenum target = GL_ARRAY_BUFFER;
    GLenum type = glcomponent<T>::type;
    GLenum usage = GL_DYNAMIC_COPY;
    int elementsize = sizeof(T);

private:
    struct fields {
        int count = 0;
    };
    shared<GLuint, fields> handle;
};

// The memory object of a GL buffer, made the first time a kernel is given it.
cl_mem sharedMem(const Buffer<float>& b);
// The device buffer of a host array of n floats, made the first time a kernel is given it. The
// array must keep its address and size while the memory object lives.
cl_mem hostMem(float* data, int n);

}  // namespace talvo
