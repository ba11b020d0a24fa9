// The segment labels the join reads, fuzzed: the whole input is a label's text, as ffprobe
// hands it over from a segment that may come from another machine. A text that is taken must
// print back to itself; one whose fields pass the join's range check must be one a capture
// writes: the capture's own options, given the label's values, take them and make the same
// label.
#include <string>
#include <vector>

#include "app/capture/limits.h"
#include "app/capture/options.h"
#include "app/capture/segmentlabel.h"
#include "words.h"

namespace {

using namespace talvo;
using namespace talvo::capture;

// `r` as a decimal with nine places, which --from and --fps take when r is one; otherwise as a
// fraction, which --fps takes when its parts are small enough and --from never does.
std::string optiontext(rational r) {
    if (1000000000 % r.den != 0) return fractiontext(r);
    const int64_t billionths = r.num * (1000000000 / r.den);
    std::string places = std::to_string(billionths % 1000000000);
    return std::to_string(billionths / 1000000000) + "." + std::string(9 - places.size(), '0') + places;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<segmentlabel> label = segmentlabel::parse(text);
    if (!label) return 0;
    FUZZ_REQUIRE(label->text() == text);
    FUZZ_REQUIRE(label->part.index >= 1 && label->part.index <= label->part.count);
    FUZZ_REQUIRE(label->part.first < label->part.end && label->part.end <= label->frames);
    FUZZ_REQUIRE(label->fps.num > 0);
    if (!label->outofrange().empty()) return 0;

    const std::string sides = std::to_string(label->width) + "x" + std::to_string(label->height);
    const std::string part = std::to_string(label->part.index) + "/" + std::to_string(label->part.count);
    captureoptions options;
    try {
        options = parseoptions({"--size", sides, "--fps", optiontext(label->fps), "--from", optiontext(label->from),
                                "--frames", std::to_string(label->frames), "--part", part, "--crf",
                                std::to_string(label->crf), "-o", "fuzz.mkv"});
    } catch (const badoption& e) {
        std::fprintf(stderr, "the join takes '%s', which no capture writes: %s\n", text.c_str(), e.what());
        std::abort();
    }
    FUZZ_REQUIRE(segmentlabel({*options.part, options.frames, options.from, options.fps, options.width,
                               options.height, options.crf})
                     .text() == text);
    return 0;
}
