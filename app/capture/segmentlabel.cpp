#include "app/capture/segmentlabel.h"

#include <map>
#include <sstream>

#include "app/capture/frameclock.h"
#include "app/capture/limits.h"

namespace talvo::capture {

std::string segmentlabel::text() const {
    return "part=" + std::to_string(part.index) + "/" + std::to_string(part.count) +
           " frames=" + std::to_string(frames) + " from=" + fractiontext(from) + " fps=" + fractiontext(fps) +
           " size=" + std::to_string(width) + "x" + std::to_string(height) + " crf=" + std::to_string(crf);
}

std::optional<segmentlabel> segmentlabel::parse(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        size_t equals = word.find('=');
        if (equals == std::string::npos || !fields.emplace(word.substr(0, equals), word.substr(equals + 1)).second)
            return std::nullopt;
    }
    if (fields.size() != 6) return std::nullopt;
    auto part = parsepair(fields["part"], '/', 1, maxframes);
    auto size = parsepair(fields["size"], 'x', 1, maxframes);
    std::optional<int64_t> frames = parsecount(fields["frames"], 1, maxframes);
    std::optional<rational> from = parserational(fields["from"]);
    std::optional<rational> fps = parserational(fields["fps"]);
    std::optional<rational> crf = parsedecimal(fields["crf"]);
    if (!part || !size || !frames || !from || !fps || !crf || crf->den != 1 || fps->num == 0) return std::nullopt;
    if (part->second < part->first || *frames < part->second) return std::nullopt;

    segmentlabel label;
    label.part = capturepart::of(*frames, static_cast<int>(part->first), static_cast<int>(part->second));
    label.frames = *frames;
    label.from = *from;
    label.fps = *fps;
    label.width = static_cast<int>(size->first);
    label.height = static_cast<int>(size->second);
    label.crf = static_cast<int>(crf->num);
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
    if (maxfps < fps) return "fps=" + fractiontext(fps) + " is above " + fractiontext(maxfps);
    if (width > maxside || height > maxside) return size + ": a side is above " + std::to_string(maxside);
    if (width % 2 || height % 2) return size + ": a video's sides are even";
    if (crf > maxcrf) return "crf=" + std::to_string(crf) + " is above " + std::to_string(maxcrf);
    if (!frameclock(from, fps).fitsproduction(frames))
        return "frames=" + std::to_string(frames) + " from " + fractiontext(from) + " s at " + fractiontext(fps) +
               " fps run past " + end;
    return "";
}

}  // namespace talvo::capture
