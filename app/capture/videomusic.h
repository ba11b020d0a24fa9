#pragma once
// The music a video takes, which ffmpeg cuts to the video's range. It is checked before
// anything is rendered or joined, so that a broken file costs no capture.
#include <string>

namespace talvo::capture {

// The line that refuses the music file for a video, or empty when the video may go on: the
// file streams, or it is missing.
std::string musicrefusal();
// The music file for a video, or empty, with a warning, when it is missing: the video is then
// made silent.
std::string videomusic();

}  // namespace talvo::capture
