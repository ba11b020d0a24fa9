#include "app/join/segmentjoin.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "app/capture/childprocess.h"
#include "app/capture/frameclock.h"
#include "app/capture/framesink.h"
#include "app/capture/outputfile.h"
#include "app/capture/runend.h"
#include "app/capture/segmentlabel.h"
#include "app/capture/videoencoder.h"
#include "app/capture/videomusic.h"

namespace talvo::capture {

namespace {

// Segments that cannot be joined; what() says why (status 2).
struct badsegments : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct segment {
    std::string file;
    segmentlabel label;
    // The video's packets, as hashes of their data in the order they are stored: segments
    // that agree here hold the same frames, whatever their labels say.
    std::string packets;
    rational tick;  // the video's time base
};

// What ffprobe prints of `file`, asked for `args`; a segment it cannot read is refused. An
// ffprobe that could not run at all (127, the status of a program that could not be loaded, or
// a signal) says nothing of the segment: the join fails as it does when ffmpeg fails.
std::string ffprobe(const std::string& file, std::vector<std::string> args) {
    args.insert(args.begin(), {"-v", "error"});
    args.push_back("file:" + file);
    childprocess ffprobe("ffprobe", args, false, true);
    if (std::string failure = ffprobe.wait(); !failure.empty()) {
        if (failure.rfind("exit status 127", 0) == 0 || failure.rfind("ended by signal", 0) == 0)
            throw capturefailure("ffprobe failed: " + failure);
        throw badsegments("cannot read the segment '" + file + "': ffprobe " + failure);
    }
    return ffprobe.output();
}

// The label `file` carries, checked to be one that a capture could have written. The tag is
// read on its own: a forged one may hold anything, line breaks included, and nothing else
// read from the file may be taken from it.
segmentlabel readlabel(const std::string& file) {
    std::string text = ffprobe(file, {"-show_entries", std::string("format_tags=") + segmentlabel::tag, "-of",
                                      "default=noprint_wrappers=1:nokey=1"});
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::optional<segmentlabel> label = segmentlabel::parse(text);
    if (!label) throw badsegments("'" + file + "' is not a video segment made with --part");
    if (std::string why = label->outofrange(); !why.empty())
        throw badsegments("'" + file + "' has a label no capture writes: " + why);
    return *label;
}

// What the first video stream of `file` holds, as ffprobe reads it: up to `packets` packets,
// so that a forged file costs no more than the frames its label may claim.
struct videocontent {
    std::map<std::string, std::string> stream;  // codec_name, pix_fmt, width, height, time_base
    std::vector<int64_t> times;                 // the packets' time stamps, in the time base
    std::string packets;                        // as segment::packets
};

videocontent readcontent(const std::string& file, int64_t packets) {
    std::istringstream lines(ffprobe(file, {"-read_intervals", "%+#" + std::to_string(packets), "-select_streams",
                                            "v:0", "-show_entries",
                                            "stream=codec_name,pix_fmt,width,height,time_base:packet=pts,data_hash",
                                            "-show_data_hash", "sha256", "-of", "default=noprint_wrappers=1"}));
    videocontent content;
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "pts") {
            // A packet without a time stamp can be no frame of a segment.
            std::optional<rational> pts = parsedecimal(value);
            content.times.push_back(pts && pts->den == 1 ? pts->num : -1);
        } else if (key == "data_hash") {
            content.packets += value + "\n";
        } else {
            content.stream[key] = value;
        }
    }
    return content;
}

// True when, sorted, time stamp k (in ticks of `tick` seconds) lies within a tick of k/fps.
bool onclock(std::vector<int64_t> times, rational tick, rational fps) {
    using wide = __int128;
    std::sort(times.begin(), times.end());
    for (size_t k = 0; k < times.size(); ++k) {
        // |pts * tick - k/fps| <= tick, multiplied out by tick.den * fps.num.
        const wide off = wide(times[k]) * tick.num * fps.num - wide(k) * fps.den * tick.den;
        if (times[k] < 0 || (off < 0 ? -off : off) > wide(tick.num) * fps.num) return false;
    }
    return true;
}

// Refuses a segment whose video is not what its label says: H.264 in yuv420p of the label's
// size, as many frames as its part has, frame k at k/fps.
void checkcontent(const std::string& file, const segmentlabel& label, videocontent& content) {
    std::map<std::string, std::string>& stream = content.stream;
    if (stream["codec_name"] != "h264" || stream["pix_fmt"] != "yuv420p")
        throw badsegments("'" + file + "' is not H.264 in yuv420p, as every segment is");
    const std::string size = stream["width"] + "x" + stream["height"];
    const std::string labelled = std::to_string(label.width) + "x" + std::to_string(label.height);
    if (size != labelled) throw badsegments("'" + file + "' is " + size + ", but its label says " + labelled);
    const size_t expected = size_t(label.part.frames()), held = content.times.size();
    const std::string part = "part " + std::to_string(label.part.index) + " of " + std::to_string(label.part.count);
    if (held < expected)
        throw badsegments("'" + file + "' holds " + (held ? std::to_string(held) : "no") + " frames, but " + part +
                          " has " + std::to_string(expected) + ": its capture did not finish");
    if (held > expected)
        throw badsegments("'" + file + "' holds more frames than the " + std::to_string(expected) + " of " + part);
    const std::optional<rational> tick = parserational(stream["time_base"]);
    if (!tick || !onclock(content.times, *tick, label.fps))
        throw badsegments("'" + file + "' does not hold its frames at the " + fractiontext(label.fps) +
                          " fps its label says");
}

// The label of `file` as the text it is stored as, found without ffprobe: the first text in
// the file's head that parses as a label. Each container stores its tags as plain text, before
// the frames when the capture writes it. Empty when none is found there.
std::optional<segmentlabel> peeklabel(const std::string& file) {
    constexpr size_t head = 1 << 20;
    std::ifstream in(file, std::ios::binary);
    std::string bytes(head, '\0');
    in.read(bytes.data(), std::streamsize(head));
    bytes.resize(size_t(in.gcount()));
    static const std::regex form("part=[0-9]+/[0-9]+ frames=[0-9]+ from=[0-9/]+ fps=[0-9/]+ size=[0-9]+x[0-9]+ crf=[0-9]+");
    for (size_t at = bytes.find("part="); at != std::string::npos; at = bytes.find("part=", at + 1)) {
        // A label is at most 256 bytes long; one cut off by the head's end is no label.
        const std::string text = bytes.substr(at, 257);
        std::smatch match;
        if (!std::regex_search(text, match, form, std::regex_constants::match_continuous)) continue;
        const size_t end = size_t(match.length());
        if (end == text.size() || std::isdigit(static_cast<unsigned char>(text[end]))) continue;
        if (std::optional<segmentlabel> label = segmentlabel::parse(match.str())) return label;
    }
    return std::nullopt;
}

// The label of `file`, checked against its content and against the label read cheaply.
segment probe(const std::string& file, const segmentlabel& peeked) {
    segmentlabel label = readlabel(file);
    if (label.text() != peeked.text()) throw badsegments("'" + file + "' is not a video segment made with --part");
    // One packet more than its part's frames shows a segment that holds too many.
    videocontent content = readcontent(file, label.part.frames() + 1);
    checkcontent(file, label, content);
    return {file, label, content.packets, *parserational(content.stream["time_base"])};
}

// Refuses two segments that hold the same frames: one of them stands for a part it is not.
void checkdistinct(const std::vector<segment>& segments) {
    std::map<std::string, const segment*> seen;
    for (const segment& s : segments)
        if (auto [other, fresh] = seen.emplace(s.packets, &s); !fresh)
            throw badsegments("'" + s.file + "' holds the same frames as '" + other->second->file + "'");
}

// The segments in the order of their parts, checked to be every part of one capture once.
// The labels are read first, cheaply, and checked against each other as they come: the work
// before a refusal is bounded by the parts of the first label's capture, whatever is given.
// Only then is each segment probed, which costs a fraction of a second.
std::vector<segment> inorder(const std::vector<std::string>& files) {
    std::map<int, std::pair<std::string, segmentlabel>> parts;  // by part index
    const std::string* first = nullptr;
    const segmentlabel* capture = nullptr;
    for (const std::string& file : files) {
        std::optional<segmentlabel> label = peeklabel(file);
        if (!label) label = readlabel(file);  // a label stored elsewhere (refused if there is none)
        if (std::string why = label->outofrange(); !why.empty())
            throw badsegments("'" + file + "' has a label no capture writes: " + why);
        if (capture && !label->samecapture(*capture))
            throw badsegments("'" + file + "' is a part of another capture than '" + *first + "' (" + label->text() +
                              ", " + capture->text() + ")");
        const int index = label->part.index, count = label->part.count;
        auto [other, fresh] = parts.emplace(index, std::pair{file, *label});
        if (!fresh)
            throw badsegments("'" + other->second.first + "' and '" + file + "' are both part " + std::to_string(index) +
                              " of " + std::to_string(count));
        if (!capture) {
            first = &other->second.first;
            capture = &other->second.second;
        }
    }
    for (int index = 1; index <= capture->part.count; ++index)
        if (!parts.count(index))
            throw badsegments("part " + std::to_string(index) + " of " + std::to_string(capture->part.count) +
                              " is missing");
    std::vector<segment> segments;
    for (const auto& [index, part] : parts) segments.push_back(probe(part.first, part.second));
    checkdistinct(segments);
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

// The video's time stamps as one capture writes them. The concat demuxer offsets each segment
// by the length of those before it, rounded, so that a joined 29.97 fps video strays from the
// rate's clock by a tick a segment and reads as another rate. Where the segments share a time
// base in which a frame lasts whole ticks (an .mp4 segment's), each time stamp is put back on
// the frame it belongs to, and an .mp4 output keeps that time base, as one capture's does. A
// .mkv segment counts in milliseconds and keeps the stamps it has.
std::vector<std::string> clockarguments(const std::vector<segment>& segments, const std::string& output) {
    const rational tick = segments.front().tick, fps = segments.front().label.fps;
    for (const segment& s : segments)
        if (s.tick.num != tick.num || s.tick.den != tick.den) return {};
    const int64_t ticks = fps.den * tick.den, per = fps.num * tick.num;
    if (tick.num != 1 || per <= 0 || ticks % per != 0) return {};
    const std::string frame = std::to_string(ticks / per);
    std::vector<std::string> args = {"-bsf:v", "setts=pts=round(PTS/" + frame + ")*" + frame + ":dts=round(DTS/" +
                                                   frame + ")*" + frame};
    if (std::filesystem::path(output).extension() == ".mp4")
        args.insert(args.end(), {"-video_track_timescale", std::to_string(tick.den)});
    return args;
}

}  // namespace

int runjoin(const captureoptions& options) {
    for (const char* program : {"ffprobe", "ffmpeg"})
        if (findprogram(program).empty())
            return failure(std::string(program) + " not found: segments are joined with ffmpeg (Debian's package ffmpeg)", 1);
    if (std::string refusal = musicrefusal(); !refusal.empty()) return failure(refusal, 1);
    try {
        const std::vector<segment> segments = inorder(options.segments);
        const segmentlabel& range = segments.front().label;
        const std::string list = concatlist(segments);
        // Joined under another name and moved into place once complete.
        outputfile joined(options.output);

        std::vector<std::string> args = {"-hide_banner", "-loglevel", "error", "-y", "-f", "concat", "-safe", "0",
                                         "-protocol_whitelist", "pipe,file", "-i", "pipe:0"};
        if (const std::string music = videomusic(); !music.empty()) {
            std::vector<std::string> input =
                musicarguments(music, range.from, frameclock(range.from, range.fps).shown(range.frames));
            args.insert(args.end(), input.begin(), input.end());
        }
        // The segments' own tags describe a part, not the whole.
        for (const char* a : {"-c:v", "copy", "-map_metadata", "-1"}) args.push_back(a);
        std::vector<std::string> clock = clockarguments(segments, options.output);
        // The concatenated video keeps the first segment's time base, unless the clock sets one.
        const int64_t persecond = !ismp4(options.output) ? 1000
                                  : clock.empty()        ? mp4ticks(segments.front().tick.den)
                                                         : segments.front().tick.den;
        if (const std::string cut = lastframefilter(range.from, range.fps, range.frames, range.frames, persecond);
            !cut.empty()) {
            args.insert(args.end(), {"-fps_mode", "passthrough"});
            if (clock.empty()) clock = {"-bsf:v", cut};
            else clock[1] += "," + cut;  // after the clock's own filter
        }
        args.insert(args.end(), clock.begin(), clock.end());
        std::vector<std::string> output = outputarguments(options.output, "");
        args.insert(args.end(), output.begin(), output.end());

        childprocess ffmpeg("ffmpeg", args, true, false, joined.descriptor());
        ffmpeg.write(reinterpret_cast<const uint8_t*>(list.data()), list.size());
        if (std::string why = ffmpeg.wait(); !why.empty()) return failure("ffmpeg failed: " + joined.named(why), 1);
        joined.commit();
        std::cerr << "joined " << segments.size() << " segment" << (segments.size() == 1 ? "" : "s") << ", "
                  << range.frames << " frame" << (range.frames == 1 ? "" : "s") << ", into " << options.output << std::endl;
        return 0;
    } catch (const badsegments& e) {
        return failure(e.what(), 2);
    } catch (const capturefailure& e) {
        return failure(e.what(), 1);
    }
}

}  // namespace talvo::capture
