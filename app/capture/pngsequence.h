#pragma once
// Frames as numbered PNG files, written with libpng.
#include <string>

#include "app/capture/framepattern.h"
#include "app/capture/framesink.h"

namespace talvo::capture {

class pngsequence : public framesink {
public:
    // The first frame written gets the number `first`.
    pngsequence(framepattern pattern, int width, int height, int64_t first)
        : pattern(std::move(pattern)), width(width), height(height), next(first) {}

    void write(const std::vector<uint8_t>& rgb) override;
    void finish() override {}

    // Writes one RGB picture (top row first) to `path`, which appears only complete. Throws
    // capturefailure.
    static void writepng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

private:
    framepattern pattern;
    int width, height;
    int64_t next;
};

}  // namespace talvo::capture
