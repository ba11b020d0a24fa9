#include "app/capture/videoencoder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/capture/frameclock.h"
#include "app/capture/segmentlabel.h"
#include "app/capture/videomusic.h"

namespace talvo::capture {

std::vector<std::string> musicarguments(const std::string& music, rational start, rational duration) {
    // The production plays its music in a loop; a range past the file's end gets the music
    // from its beginning again, as a viewer of the run would hear it.
    std::vector<std::string> args = {"-stream_loop", "-1", "-i", "file:" + music, "-map", "0:v", "-map", "1:a", "-af"};
    args.push_back("atrim=start=" + decimaltext(start) + ":duration=" + decimaltext(duration) + ",asetpts=PTS-STARTPTS");
    for (const char* a : {"-c:a", "aac", "-b:a", "192k"}) args.push_back(a);
    return args;
}

bool ismp4(const std::string& output) {
    std::string extension = std::filesystem::path(output).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".mp4";
}

int64_t mp4ticks(int64_t den) {
    while (den < 10000) den *= 2;
    return den;
}

std::string lastframefilter(rational from, rational fps, int64_t end, int64_t packets, int64_t persecond) {
    const frameclock clock(from, fps);
    if (clock.shown(end) == clock.duration(end)) return "";
    // The last packet decoded ends the stream's time, the last shown its time as presented
    // (with B-frames they differ): both get the cut length. The last shown is the one whose
    // time stamp lies past half a frame before the last frame's.
    const __int128 halfbefore = __int128(2 * packets - 3) * fps.den * persecond / (2 * fps.num);
    return "setts=pts=PTS:dts=DTS:duration=if(eq(N\\," + std::to_string(packets - 1) + ")+gte(PTS\\," +
           std::to_string(static_cast<int64_t>(halfbefore)) + ")\\," + std::to_string(clock.lastshown(end, persecond)) +
           "\\,DURATION)";
}

std::vector<std::string> outputarguments(const std::string& output, const std::string& label) {
    std::vector<std::string> args;
    if (!label.empty()) {
        args.push_back("-metadata");
        args.push_back(std::string(segmentlabel::tag) + "=" + label);
    }
    const bool mp4 = ismp4(output);
    if (mp4) {
        // The index goes to the front, so that players can start before the whole file is
        // read; a tag of our own name is kept only when asked for.
        args.push_back("-movflags");
        args.push_back(label.empty() ? "+faststart" : "+faststart+use_metadata_tags");
    }
    // The file it writes is the one the capture created, handed over: its format goes by the
    // output's name.
    for (const char* a : {"-f", mp4 ? "mp4" : "matroska"}) args.push_back(a);
    args.push_back("file:" + handedname);
    return args;
}

namespace {
// The ffmpeg arguments that encode the frames of `options` into the file handed over.
std::vector<std::string> ffmpegarguments(const captureoptions& options) {
    std::vector<std::string> args = {
        "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", std::to_string(options.width) + "x" + std::to_string(options.height),
        "-framerate", fractiontext(options.fps), "-i", "pipe:0",
    };
    std::string label;
    if (options.part) {
        const segmentlabel segment{*options.part, options.frames, options.from, options.fps,
                                   options.width, options.height, options.crf};
        label = segment.text();
    } else if (const std::string music = videomusic(); !music.empty()) {
        const rational duration = frameclock(options.from, options.fps).shown(options.frames);
        std::vector<std::string> input = musicarguments(music, options.from, duration);
        args.insert(args.end(), input.begin(), input.end());
    }
    for (const char* a : {"-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-crf"}) args.push_back(a);
    args.push_back(std::to_string(options.crf));
    // The encoder's time base is one frame.
    const std::string cut = lastframefilter(
        options.from, options.fps, options.part ? options.part->end : options.frames,
        options.part ? options.part->frames() : options.frames, ismp4(options.output) ? mp4ticks(options.fps.num) : 1000);
    if (!cut.empty()) args.insert(args.end(), {"-fps_mode", "passthrough", "-bsf:v", cut});
    std::vector<std::string> output = outputarguments(options.output, label);
    args.insert(args.end(), output.begin(), output.end());
    return args;
}
}  // namespace

videoencoder::videoencoder(const captureoptions& options)
    : file(options.output), ffmpeg("ffmpeg", ffmpegarguments(options), true, false, file.descriptor()) {}

void videoencoder::write(const std::vector<uint8_t>& rgb) {
    try {
        ffmpeg.write(rgb.data(), rgb.size());
    } catch (const capturefailure& e) {
        throw capturefailure(file.named(e.what()));
    }
}

void videoencoder::finish() {
    std::string failure = ffmpeg.wait();
    if (!failure.empty()) throw capturefailure("ffmpeg failed: " + file.named(failure));
    file.commit();
}

}  // namespace talvo::capture
