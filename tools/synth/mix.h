#pragma once
// The mixing desk: every note is rendered straight into these buses, then the effects and
// the master chain run once over the whole piece.
#include <vector>

#include "dsp.h"

namespace synth {

struct stereobus {
    std::vector<float> l, r;
    explicit stereobus(long length) : l(length), r(length) {}
    void add(long i, double left, double right) {
        if (i < 0 || i >= static_cast<long>(l.size())) return;
        l[i] += static_cast<float>(left);
        r[i] += static_cast<float>(right);
    }
};

// Where a voice goes: its level on the dry bus and its sends to the effects.
struct route {
    double reverb = 0;
    double delay = 0;
    bool ducked = true;  // the music bus dips under the kick; drums stay put
};

class mix {
public:
    explicit mix(double seconds);

    long length() const { return static_cast<long>(drums.l.size()); }
    // Adds one stereo sample of a voice at sample i.
    void put(long i, double l, double r, const route& to) {
        (to.ducked ? music : drums).add(i, l, r);
        if (to.reverb > 0) reverbsend.add(i, l * to.reverb, r * to.reverb);
        if (to.delay > 0) delaysend.add(i, l * to.delay, r * to.delay);
    }
    // The music bus dips by depth (0..1) after a kick at time t.
    void duck(double t, double depth) { ducks.push_back({t, depth}); }

    // Runs delay, reverb, ducking and the master chain: the sum is scaled by gain, faded out
    // over the last fadeout seconds and limited so that no peak exceeds ceiling (all linear).
    // Returns interleaved stereo samples.
    std::vector<float> master(double gain, double ceiling, double fadeout);

private:
    struct dip {
        double t, depth;
    };
    stereobus drums, music, reverbsend, delaysend;
    std::vector<dip> ducks;

    void applyducking();
    stereobus delay() const;
    stereobus reverb(const stereobus& in) const;
};

}  // namespace synth
