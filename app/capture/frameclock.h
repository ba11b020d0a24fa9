#pragma once
// The capture's virtual clock. Frame k shows the production at the moment from + k/fps,
// reckoned exactly and rounded to the whole millisecond the tick counter counts in. Before
// that frame is drawn, every 25 ms update step that begins at or before the moment has run:
// the production time the frame sees is the end of the step that holds the moment, so the
// schedule's boundaries fall where its times say (the second scene is entered in the sync of a
// frame at 56.000 s, and the first one still steps at 55.999 s).
#include <cstdint>

#include "app/rational.h"
#include "production/demostart.h"

namespace talvo::capture {

// The production's length in seconds: its last scene ends there.
constexpr int64_t productionseconds = demostart::endtime / 1000;

class frameclock {
public:
    // from in seconds, fps in frames per second (positive).
    frameclock(rational from, rational fps) : from(from), fps(fps) {}

    // The moment of frame k, in milliseconds of production time (halves round up).
    uint32_t moment(int64_t k) const;
    // How many frames start before `to` (seconds): the range times the rate, rounded up; but
    // none whose moment rounds to the production's end, where its exit draws nothing.
    int64_t framesbefore(rational to) const;
    // True when `count` frames all show the production before its end.
    bool fitsproduction(int64_t count) const;
    // The length of `count` frames in seconds.
    rational duration(int64_t count) const;
    // The length of the production those frames show: the last one's time is cut at the
    // production's end, where a frame rate below one frame a second would take it far past.
    rational shown(int64_t count) const;
    // The time the last of `count` frames shows up to the production's end, in whole ticks of
    // 1/persecond s (nearest).
    int64_t lastshown(int64_t count, int64_t persecond) const;

    // The tick, relative to starttime, that a frame at `moment` carries: the loop's step
    // arithmetic, with its strict test, runs from updatetime up to the end of the step that
    // holds the moment and stops there.
    static uint32_t frametick(uint32_t moment);

private:
    rational from;
    rational fps;
};

}  // namespace talvo::capture
