#pragma once
// Frames as a video: raw RGB frames piped into ffmpeg, which encodes H.264 in yuv420p and
// muxes the music, cut to the captured range, as AAC.
#include <sys/types.h>

#include <string>
#include <vector>

#include "app/capture/framesink.h"
#include "app/rational.h"

namespace talvo::capture {

struct videosettings {
    std::string output;  // .mp4 or .mkv
    int width = 0;
    int height = 0;
    rational fps{60, 1};
    int crf = 18;
    std::string music;   // empty: a video without sound
    rational musicstart;  // seconds into the music
    rational duration;    // seconds of music, the length of the frames
};

// The ffmpeg arguments for these settings (without the program name).
std::vector<std::string> ffmpegarguments(const videosettings& settings);

// The directory in PATH that holds an executable `name`, or empty.
std::string findprogram(const std::string& name);

class videoencoder : public framesink {
public:
    // Starts ffmpeg. Throws capturefailure if it cannot be started.
    explicit videoencoder(const videosettings& settings);
    // Ends ffmpeg if finish() was not reached (the video is then incomplete).
    ~videoencoder() override;
    videoencoder(const videoencoder&) = delete;
    videoencoder& operator=(const videoencoder&) = delete;

    void write(const std::vector<uint8_t>& rgb) override;
    // Closes the pipe and waits for ffmpeg; its errors if it failed.
    void finish() override;

private:
    // Waits for ffmpeg; empty if it succeeded, else its exit and its error output.
    std::string reap();

    pid_t pid = -1;
    int pipe = -1;
    std::string errors;  // file that collects ffmpeg's standard error
};

}  // namespace talvo::capture
