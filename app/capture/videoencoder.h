#pragma once
// Frames as a video: raw RGB frames piped into ffmpeg, which encodes H.264 in yuv420p and
// muxes the music, cut to the captured range, as AAC.
#include <memory>
#include <string>
#include <vector>

#include "app/capture/childprocess.h"
#include "app/capture/framesink.h"
#include "app/capture/options.h"
#include "app/capture/outputfile.h"
#include "app/rational.h"

namespace talvo::capture {

// The ffmpeg arguments that take the music from input 1 (`music`, looped) and cut it to
// `duration` seconds from `start`, as AAC beside the video of input 0.
std::vector<std::string> musicarguments(const std::string& music, rational start, rational duration);
// The ffmpeg arguments that end the command: a part's segmentlabel text as the container's tag
// (none when empty), the options of the container that `output`'s name chooses, and the file
// handed to ffmpeg as its descriptor 3.
std::vector<std::string> outputarguments(const std::string& output, const std::string& label);

// ffmpeg gives every frame the rate's length: a video of one frame at 1/600 fps would last
// 600 s. Where the frames [.., end) of a range from `from` at `fps` would last past the
// production's end, the bit-stream filter that cuts the last one's time there; empty otherwise.
// The muxer takes the length of the last packet (one a frame, `packets` of them, time stamps
// from 0) from that packet, counted in its time base of 1/persecond s; with the rate's constant
// frame timing (not -fps_mode passthrough) ffmpeg puts the rate's length back.
std::string lastframefilter(rational from, rational fps, int64_t end, int64_t packets, int64_t persecond);
// The ticks a second an MP4 file counts a video in whose time base is 1/den s: doubled up to at
// least 10000. Matroska counts in milliseconds.
int64_t mp4ticks(int64_t den);
// True when `output` is written as MP4 (by its name), otherwise as Matroska.
bool ismp4(const std::string& output);

class videoencoder : public framesink {
public:
    // Starts ffmpeg on the options' output, size, rate and quality. A whole capture's video
    // takes the music of its range; a part's segment is silent and labelled for the join, which
    // adds the music to the whole range. Throws capturefailure if ffmpeg cannot be started.
    explicit videoencoder(const captureoptions& options);

    void write(const std::vector<uint8_t>& rgb) override;
    // Closes the pipe, waits for ffmpeg and moves the video into place; its error if it failed.
    void finish() override;

private:
    // The video appears under its name only once ffmpeg has finished it.
    outputfile file;
    // Ends ffmpeg, if finish() was not reached, when it goes, before its file is removed.
    childprocess ffmpeg;
};

}  // namespace talvo::capture
