#pragma once
// The parts' video segments joined into one video: ffmpeg's concat demuxer copies them
// without encoding them again, and the music of the whole range is added as a whole capture
// adds it.
#include "app/capture/options.h"

namespace talvo::capture {

// Joins options.segments into options.output. Returns the exit status: 0 done; 1 ffprobe or
// ffmpeg failed, or the music cannot be used; 2 the segments are not all the parts of one
// capture, each complete and each what its label says. The reason goes to standard error.
int runjoin(const captureoptions& options);

}  // namespace talvo::capture
