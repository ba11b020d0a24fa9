#include "app/capture/segmentjoin.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "app/capture/childprocess.h"
#include "app/capture/frameclock.h"
#include "app/capture/framesink.h"
#include "app/capture/outputfile.h"
#include "app/capture/segmentlabel.h"
#include "app/capture/videoencoder.h"

namespace talvo::capture {

namespace {

const char* const musicfile = "resources/sound.flac";

// Segments that cannot be joined; what() says why (status 2).
struct badsegments : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct segment {
    std::string file;
    segmentlabel label;
};

// The label of `file` and the frames it holds, as ffprobe reads them.
segment probe(const std::string& file) {
    childprocess ffprobe("ffprobe",
                         {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                          std::string("stream=nb_read_packets:format_tags=") + segmentlabel::tag, "-of",
                          "default=noprint_wrappers=1", "file:" + file},
                         false, true);
    if (std::string failure = ffprobe.wait(); !failure.empty())
        throw badsegments("cannot read the segment '" + file + "': ffprobe " + failure);
    std::istringstream lines(ffprobe.output());
    std::string packets, text;
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        // Matroska keeps tag names in capitals.
        std::string key = line.substr(0, equals);
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
        if (key == "nb_read_packets") packets = line.substr(equals + 1);
        if (key == std::string("tag:") + segmentlabel::tag) text = line.substr(equals + 1);
    }
    std::optional<segmentlabel> label = segmentlabel::parse(text);
    if (!label) throw badsegments("'" + file + "' is not a video segment made with --part");
    const std::string expected = std::to_string(label->part.frames());
    if (packets != expected)
        throw badsegments("'" + file + "' holds " + (packets.empty() ? "no" : packets) + " frames, but part " +
                          std::to_string(label->part.index) + " of " + std::to_string(label->part.count) + " has " +
                          expected + ": its capture did not finish");
    return {file, *label};
}

// The segments in the order of their parts, checked to be every part of one capture once.
std::vector<segment> inorder(const std::vector<std::string>& files) {
    std::vector<segment> segments;
    for (const std::string& file : files) segments.push_back(probe(file));
    for (const segment& s : segments)
        if (!s.label.samecapture(segments.front().label))
            throw badsegments("'" + s.file + "' is a part of another capture than '" + segments.front().file +
                              "' (" + s.label.text() + ", " + segments.front().label.text() + ")");
    std::stable_sort(segments.begin(), segments.end(),
                     [](const segment& a, const segment& b) { return a.label.part.index < b.label.part.index; });
    const int count = segments.front().label.part.count;
    for (size_t i = 0; i < segments.size(); ++i) {
        const int index = segments[i].label.part.index;
        if (i > 0 && index == segments[i - 1].label.part.index)
            throw badsegments("'" + segments[i - 1].file + "' and '" + segments[i].file + "' are both part " +
                              std::to_string(index) + " of " + std::to_string(count));
    }
    for (int index = 1, at = 0; index <= count; ++index) {
        if (at < int(segments.size()) && segments[size_t(at)].label.part.index == index)
            ++at;
        else
            throw badsegments("part " + std::to_string(index) + " of " + std::to_string(count) + " is missing");
    }
    return segments;
}

// A name quoted for a concat list: inside single quotes, a quote is closed, escaped and
// reopened.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The concat list of the segments, which ffmpeg reads from its standard input.
std::string concatlist(const std::vector<segment>& segments) {
    std::string text = "ffconcat version 1.0\n";
    for (const segment& s : segments)
        text += "file " + quoted("file:" + std::filesystem::absolute(s.file).string()) + "\n";
    return text;
}

int failure(const std::string& message, int status) {
    std::cerr << "quellspire-capture: " << message << std::endl;
    return status;
}

}  // namespace

int runjoin(const captureoptions& options) {
    for (const char* program : {"ffprobe", "ffmpeg"})
        if (findprogram(program).empty())
            return failure(std::string(program) + " not found: segments are joined with ffmpeg (Debian's package ffmpeg)", 1);
    try {
        const std::vector<segment> segments = inorder(options.segments);
        const segmentlabel& range = segments.front().label;
        const std::string list = concatlist(segments);
        // Joined under another name and moved into place once complete.
        outputfile joined(options.output);

        std::vector<std::string> args = {"-hide_banner", "-loglevel", "error", "-y", "-f", "concat", "-safe", "0",
                                         "-protocol_whitelist", "pipe,file", "-i", "pipe:0"};
        if (std::filesystem::exists(musicfile)) {
            std::vector<std::string> music =
                musicarguments(musicfile, range.from, frameclock(range.from, range.fps).duration(range.frames));
            args.insert(args.end(), music.begin(), music.end());
        } else {
            std::cerr << "quellspire-capture: warning: " << musicfile << " not found: the video has no music" << std::endl;
        }
        // The segments' own tags describe a part, not the whole.
        for (const char* a : {"-c:v", "copy", "-map_metadata", "-1"}) args.push_back(a);
        std::vector<std::string> output = outputarguments(joined.temporary(), "");
        args.insert(args.end(), output.begin(), output.end());

        childprocess ffmpeg("ffmpeg", args, true, false);
        ffmpeg.write(reinterpret_cast<const uint8_t*>(list.data()), list.size());
        if (std::string why = ffmpeg.wait(); !why.empty()) return failure("ffmpeg failed: " + joined.named(why), 1);
        joined.commit();
        std::cerr << "joined " << segments.size() << " segment" << (segments.size() == 1 ? "" : "s") << ", "
                  << range.frames << " frames, into " << options.output << std::endl;
        return 0;
    } catch (const badsegments& e) {
        return failure(e.what(), 2);
    } catch (const capturefailure& e) {
        return failure(e.what(), 1);
    }
}

}  // namespace talvo::capture
