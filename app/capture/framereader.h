#pragma once
// Reads finished frames back from the window's back buffer through two pixel buffers, so that
// the copy of one frame overlaps the drawing of the next, and hands them over upright.
#include <cstdint>
#include <vector>

#include "app/capture/packbuffer.h"

namespace talvo::capture {

class framereader {
public:
    framereader(int width, int height);

    // Queues the back buffer's picture (call before the swap). At most two may be queued.
    void read();
    int queued() const { return count; }
    // The oldest queued picture: RGB, top row first, width * 3 bytes a row.
    const std::vector<uint8_t>& take();
    // The picture take() returned last; black before the first.
    const std::vector<uint8_t>& last() const { return image; }

private:
    int width, height;
    PackBuffer buffers[2];
    int first = 0;  // the oldest queued buffer
    int count = 0;
    std::vector<uint8_t> image;
};

}  // namespace talvo::capture
