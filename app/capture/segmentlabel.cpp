#include "app/capture/segmentlabel.h"

#include <limits>
#include <regex>

#include "app/capture/frameclock.h"
#include "app/capture/limits.h"

namespace talvo::capture {

std::string segmentlabel::text() const {
    return "part=" + std::to_string(part.index) + "/" + std::to_string(part.count) +
           " frames=" + std::to_string(frames) + " from=" + fractiontext(from) + " fps=" + fractiontext(fps) +
           " size=" + std::to_string(width) + "x" + std::to_string(height) + " crf=" + std::to_string(crf);
}

std::optional<segmentlabel> segmentlabel::parse(const std::string& text) {
    // text() makes none longer (ten numbers of at most 18 digits). A forged tag may be of any
    // length, and the regex's recursion grows with the text it matches.
    if (text.size() > 256) return std::nullopt;
    static const std::regex form("part=(\\S+) frames=(\\S+) from=(\\S+) fps=(\\S+) size=(\\S+) crf=(\\S+)");
    std::smatch field;
    if (!std::regex_match(text, field, form)) return std::nullopt;
    auto part = parsepair(field[1], '/', 1, maxframes);
    std::optional<int64_t> frames = parsecount(field[2], 1, maxframes);
    std::optional<rational> from = parsefraction(field[3]);
    std::optional<rational> fps = parsefraction(field[4]);
    auto size = parsepair(field[5], 'x', 1, maxframes);
    std::optional<int64_t> crf = parsecount(field[6], 0, std::numeric_limits<int>::max());
    if (!part || !frames || !from || !fps || !size || !crf || fps->num == 0) return std::nullopt;
    if (part->second < part->first || *frames < part->second) return std::nullopt;

    const segmentlabel label{capturepart::of(*frames, int(part->first), int(part->second)),
                             *frames, *from, *fps, int(size->first), int(size->second), int(*crf)};
    // Only the text that text() makes: no other spelling of the same numbers.
    if (label.text() != text) return std::nullopt;
    return label;
}

bool segmentlabel::samecapture(const segmentlabel& other) const {
    return part.count == other.part.count && frames == other.frames && from == other.from && fps == other.fps &&
           width == other.width && height == other.height && crf == other.crf;
}

std::string segmentlabel::outofrange() const {
    const std::string end = "the production's end (" + std::to_string(productionseconds) + " s)";
    const std::string size = "size=" + std::to_string(width) + "x" + std::to_string(height);
    if (part.count > maxparts)
        return "part=" + std::to_string(part.index) + "/" + std::to_string(part.count) + ": more than " +
               std::to_string(maxparts) + " parts";
    if (!(from < rational{productionseconds, 1})) return "from=" + fractiontext(from) + " is not before " + end;
    if (!isdecimal(from)) return "from=" + fractiontext(from) + " is no time --from takes (at most 9 decimals)";
    if (maxfps < fps) return "fps=" + fractiontext(fps) + " is above " + fractiontext(maxfps);
    if (!isreadable(fps)) return "fps=" + fractiontext(fps) + " is no rate --fps takes";
    if (width > maxside || height > maxside) return size + ": a side is above " + std::to_string(maxside);
    if (width % 2 || height % 2) return size + ": a video's sides are even";
    if (crf > maxcrf) return "crf=" + std::to_string(crf) + " is above " + std::to_string(maxcrf);
    if (!frameclock(from, fps).fitsproduction(frames))
        return "frames=" + std::to_string(frames) + " from " + fractiontext(from) + " s at " + fractiontext(fps) +
               " fps run past " + end;
    return "";
}

}  // namespace talvo::capture
