#pragma once
// What a part's video segment says of itself, in a tag of its container: which part of which
// capture it holds. The join reads it back to check that its segments are all the parts of
// one capture and to cut the music to the whole range.
#include <cstdint>
#include <optional>
#include <string>

#include "app/capture/capturepart.h"
#include "app/rational.h"

namespace talvo::capture {

struct segmentlabel {
    // The container tag that holds the text.
    static constexpr const char* tag = "quellspire_part";

    capturepart part;
    int64_t frames = 0;  // of the whole range
    rational from;       // the range's start, in seconds
    rational fps;
    int width = 0, height = 0;
    int crf = 0;

    // "part=2/4 frames=240 from=271/2 fps=30 size=64x48 crf=18"
    std::string text() const;
    // Empty for any text that text() does not make, or one whose part is empty.
    static std::optional<segmentlabel> parse(const std::string& text);
    // True when both are parts of the same capture (they may be different parts).
    bool samecapture(const segmentlabel& other) const;
    // Of a label parse() read: why no capture could have written it, or empty when one could
    // (every field within what the capture's options take, a video's even size, and a range
    // that ends within the production with a frame at least for every part).
    std::string outofrange() const;
};

}  // namespace talvo::capture
