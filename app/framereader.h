#pragma once
// Reads finished frames back from the window's back buffer through two pixel buffers, so that
// the copy of one frame overlaps the drawing of the next, and hands them over upright. The
// capture reads every frame through it, and maker mode's F12 the frame it saves, so that the
// two read the same bytes.
#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

namespace talvo {

class framereader {
public:
    framereader(int width, int height);
    // Deletes the pixel buffers (render thread, before the context goes).
    ~framereader();
    framereader(const framereader&) = delete;
    framereader& operator=(const framereader&) = delete;

    // Queues the back buffer's picture (call before the swap): glReadPixels into a pixel buffer
    // returns at once, and the GL copies while the next frame is drawn. At most two may be
    // queued.
    void read();
    int queued() const { return count; }
    // The oldest queued picture: RGB, top row first, width * 3 bytes a row.
    const std::vector<uint8_t>& take();
    // The picture take() returned last; black before the first.
    const std::vector<uint8_t>& last() const { return image; }

private:
    int width, height;
    GLuint buffers[2] = {};  // pixel pack buffers of one picture each; none stays bound
    int first = 0;           // the oldest queued buffer
    int count = 0;
    std::vector<uint8_t> image;
};

}  // namespace talvo
