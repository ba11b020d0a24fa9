// The capture's command line, fuzzed. The input's words (split at NUL bytes) go to the whole
// option reader as they are; its first word also goes, as the value of each option, to the
// value readers (frame patterns, rationals, sizes, parts), each through parseoptions. What is
// accepted must be within the limits the README gives, and a part's segment label must read
// back as one the join takes.
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "app/capture/frameclock.h"
#include "app/capture/framepattern.h"
#include "app/capture/limits.h"
#include "app/capture/options.h"
#include "app/capture/segmentlabel.h"
#include "words.h"

namespace {

using namespace talvo;
using namespace talvo::capture;

void checkrational(const std::string& text) {
    for (const std::optional<rational>& r : {parserational(text), parsedecimal(text)}) {
        if (!r) continue;
        FUZZ_REQUIRE(r->num >= 0 && r->den >= 1 && std::gcd(r->num, r->den) == 1);
        FUZZ_REQUIRE(milliseconds(*r) >= 0);
        decimaltext(*r);
    }
}

// An accepted pattern numbers its frames as printf would: the file names of two frames never
// coincide, and no conversion but the one number is taken.
void checkpattern(const std::string& text) {
    const std::optional<framepattern> pattern = framepattern::parse(text);
    if (!pattern) return;
    for (int frame : {0, 7, 123456}) {
        std::vector<char> printed(text.size() + 32);
        std::snprintf(printed.data(), printed.size(), text.c_str(), frame);
        FUZZ_REQUIRE(pattern->path(frame) == printed.data());
    }
}

void checkaccepted(const captureoptions& o) {
    if (o.help || o.version) return;
    if (o.join) {
        FUZZ_REQUIRE(o.kind == outputkind::video && !o.segments.empty());
        return;
    }
    FUZZ_REQUIRE(o.width >= 1 && o.width <= maxside && o.height >= 1 && o.height <= maxside);
    FUZZ_REQUIRE(o.samples >= 0 && o.samples <= 32);
    FUZZ_REQUIRE(o.fps.num > 0 && o.fps <= maxfps);
    FUZZ_REQUIRE(o.from.num >= 0 && milliseconds(o.from) < int64_t(talvo::demostart::endtime));
    FUZZ_REQUIRE(o.frames >= 1 && frameclock(o.from, o.fps).fitsproduction(o.frames));
    FUZZ_REQUIRE(o.crf >= 0 && o.crf <= maxcrf);
    FUZZ_REQUIRE(o.stats != o.output);
    if (o.part) {
        FUZZ_REQUIRE(o.part->index >= 1 && o.part->index <= o.part->count && o.part->count <= maxparts);
        FUZZ_REQUIRE(o.part->first >= 0 && o.part->first < o.part->end && o.part->end <= o.frames);
    }
    if (o.kind == outputkind::png) {
        FUZZ_REQUIRE(framepattern::parse(o.output).has_value());
        return;
    }
    FUZZ_REQUIRE(o.width % 2 == 0 && o.height % 2 == 0);
    if (o.part) {
        // What the capture writes into a segment, the join must take.
        const segmentlabel label{*o.part, o.frames, o.from, o.fps, o.width, o.height, o.crf};
        const std::optional<segmentlabel> back = segmentlabel::parse(label.text());
        FUZZ_REQUIRE(back && back->text() == label.text() && back->outofrange().empty());
    }
}

void check(const std::vector<std::string>& args) {
    try {
        checkaccepted(parseoptions(args));
    } catch (const badoption& e) {
        // One line, whatever the values' length: each is echoed shortened.
        FUZZ_REQUIRE(*e.what() && std::strlen(e.what()) < 1000);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> words = fuzz::words(data, size);
    check(words);
    const std::string& value = words.front();
    checkrational(value);
    checkpattern(value);
    // Each value under an option, with the rest of a line that can be accepted. The paths are
    // relative: tools/fuzz.sh runs in a scratch directory, and nothing is created.
    for (const char* option : {"--size", "--fps", "--part", "--from", "--to", "--frames", "--samples", "--crf"})
        check({option, value, "-o", "fuzz.mkv"});
    check({"--fps", value, "--part", "3/7", "-o", "fuzz.mkv"});
    check({"--from", value, "--part", "2/3", "-o", "fuzz.mkv"});
    check({"-o", value});
    return 0;
}
