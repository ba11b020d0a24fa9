#pragma once
// A pixel buffer object for reading frames back: glReadPixels into it returns at once and the
// copy is done by the GL while the next frame is drawn; mapping it later hands the pixels over.
// A copyable handle sharing one use count; the last copy deletes the buffer (render thread).
#include <epoxy/gl.h>

#include <cstddef>

#include "gl/shared.h"

namespace talvo {

class PackBuffer {
public:
    PackBuffer() = default;
    // Storage for `bytes` bytes, filled by the GL and read by the program.
    explicit PackBuffer(size_t bytes);

    // Starts copying the read buffer's width x height RGB pixels (rows bottom first, packed
    // without padding) into the buffer. Leaves no pack buffer bound.
    void readpixels(int width, int height) const;
    // Maps the buffer, hands its bytes to `use`, unmaps it. Leaves no pack buffer bound.
    template <typename Use>
    void withpixels(Use use) const {
        use(map());
        unmap();
    }

    GLuint buf = 0;
    size_t bytes = 0;

private:
    const unsigned char* map() const;
    void unmap() const;

    shared<GLuint> handle;
};

}  // namespace talvo
