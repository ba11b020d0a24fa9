#include "mix.h"

#include <array>
#include <deque>

namespace synth {

mix::mix(double seconds)
    : drums(sampleat(seconds)), music(sampleat(seconds)), reverbsend(sampleat(seconds)),
      delaysend(sampleat(seconds)) {}

void mix::applyducking() {
    std::sort(ducks.begin(), ducks.end(), [](const dip& a, const dip& b) { return a.t < b.t; });
    size_t next = 0;
    dip last{-100.0, 0.0};
    for (long i = 0; i < length(); ++i) {
        double t = static_cast<double>(i) / rate;
        while (next < ducks.size() && ducks[next].t <= t) last = ducks[next++];
        // A quick dip that recovers over about a beat: the pad breathes with the kick.
        double x = t - last.t;
        double gain = 1.0 - last.depth * (x < 0.01 ? x / 0.01 : std::exp(-(x - 0.01) / 0.11));
        music.l[i] *= static_cast<float>(gain);
        music.r[i] *= static_cast<float>(gain);
    }
}

// Ping-pong echo on the dotted eighth, darkening with every repeat.
stereobus mix::delay() const {
    const long time = sampleat(0.75 * beat);
    const double feedback = 0.45;
    const double damp = onepole::coefficient(3500);
    stereobus out(length());
    std::vector<double> left(time), right(time);
    onepole fl, fr;
    for (long i = 0; i < length(); ++i) {
        long k = i % time;
        double l = left[k], r = right[k];
        out.l[i] = static_cast<float>(l);
        out.r[i] = static_cast<float>(r);
        double in = 0.5 * (delaysend.l[i] + delaysend.r[i]);
        left[k] = in + feedback * fr.lowpass(r, damp);
        right[k] = feedback * fl.lowpass(l, damp);
    }
    return out;
}

// Feedback delay network: eight damped delay lines mixed through a Hadamard matrix, the
// left input feeding the even lines and the right input the odd ones.
stereobus mix::reverb(const stereobus& in) const {
    constexpr int lines = 8;
    const std::array<long, lines> lengths = {1493, 1759, 2003, 2351, 2687, 3011, 3373, 3769};
    const double rt60 = 3.2;
    const long predelay = sampleat(0.025);
    const double damp = onepole::coefficient(5000);
    std::array<std::vector<double>, lines> line;
    std::array<double, lines> gain;
    std::array<onepole, lines> filter;
    for (int j = 0; j < lines; ++j) {
        line[j].assign(lengths[j], 0.0);
        gain[j] = std::pow(10.0, -3.0 * lengths[j] / (rt60 * rate));
    }
    stereobus out(length());
    for (long i = 0; i < length(); ++i) {
        double inl = i >= predelay ? in.l[i - predelay] : 0.0;
        double inr = i >= predelay ? in.r[i - predelay] : 0.0;
        std::array<double, lines> v;
        for (int j = 0; j < lines; ++j)
            v[j] = filter[j].lowpass(line[j][i % lengths[j]], damp) * gain[j];
        // Half of four uncorrelated lines keeps the room at about the level it is fed.
        out.l[i] = static_cast<float>(0.5 * (v[0] + v[2] + v[4] + v[6]));
        out.r[i] = static_cast<float>(0.5 * (v[1] + v[3] + v[5] + v[7]));
        for (int size = 1; size < lines; size *= 2)
            for (int j = 0; j < lines; j += 2 * size)
                for (int m = j; m < j + size; ++m) {
                    double a = v[m], b = v[m + size];
                    v[m] = a + b;
                    v[m + size] = a - b;
                }
        for (int j = 0; j < lines; ++j)
            line[j][i % lengths[j]] = v[j] / std::sqrt(double(lines)) + (j % 2 ? inr : inl);
    }
    return out;
}

namespace {

// Look-ahead peak limiter: the gain reaches what a peak needs before the peak arrives (the
// minimum of the needed gain over the coming window, averaged over that window), and
// recovers slowly afterwards, so no sample ends up above the ceiling.
void limit(std::vector<double>& l, std::vector<double>& r, double ceiling) {
    const long n = static_cast<long>(l.size());
    const long window = sampleat(0.004);
    const double recovery = 1.0 - std::exp(-1.0 / (0.15 * rate));
    std::vector<double> needed(n);
    for (long i = 0; i < n; ++i) {
        double peak = std::max(std::abs(l[i]), std::abs(r[i]));
        needed[i] = peak > ceiling ? ceiling / peak : 1.0;
    }
    // Sliding minimum over [i, i + window), then a running mean over the past window.
    std::vector<double> lowest(n);
    std::deque<long> candidates;
    for (long i = n - 1; i >= 0; --i) {
        while (!candidates.empty() && needed[candidates.back()] >= needed[i]) candidates.pop_back();
        candidates.push_back(i);
        if (candidates.front() >= i + window) candidates.pop_front();
        lowest[i] = needed[candidates.front()];
    }
    // Before the start the gain is 1.
    double sum = static_cast<double>(window), gain = 1.0;
    for (long i = 0; i < n; ++i) {
        sum += lowest[i] - (i >= window ? lowest[i - window] : 1.0);
        // The minimum guards against rounding in the running sum.
        double target = std::min(sum / window, lowest[i]);
        gain = std::min(target, gain + (1.0 - gain) * recovery);
        l[i] *= gain;
        r[i] *= gain;
    }
}

}  // namespace

std::vector<float> mix::master(double gain, double ceiling, double fadeout) {
    applyducking();
    const long n = length();
    std::vector<double> l(n), r(n);
    {
        stereobus echoes = delay();
        // The echoes ring in the room too.
        for (long i = 0; i < n; ++i) {
            reverbsend.l[i] += 0.3f * echoes.l[i];
            reverbsend.r[i] += 0.3f * echoes.r[i];
        }
        stereobus room = reverb(reverbsend);

        // DC blocker: a one-pole high pass far below the music.
        const double pole = 1.0 - 2 * pi * 8.0 / rate;
        double xl = 0, xr = 0, yl = 0, yr = 0;
        const long fadestart = n - sampleat(fadeout);
        for (long i = 0; i < n; ++i) {
            double sl = drums.l[i] + music.l[i] + echoes.l[i] + room.l[i];
            double sr = drums.r[i] + music.r[i] + echoes.r[i] + room.r[i];
            yl = sl - xl + pole * yl;
            yr = sr - xr + pole * yr;
            xl = sl;
            xr = sr;
            double fade = i < fadestart ? 1.0 : 0.5 + 0.5 * std::cos(pi * (i - fadestart) / double(n - fadestart));
            l[i] = gain * yl * fade;
            r[i] = gain * yr * fade;
        }
    }
    // The buses are spent; the limiter needs the room.
    for (stereobus* spent : {&drums, &music, &reverbsend, &delaysend}) *spent = stereobus(0);
    limit(l, r, ceiling);
    std::vector<float> out(2 * n);
    for (long i = 0; i < n; ++i) {
        out[2 * i] = static_cast<float>(l[i]);
        out[2 * i + 1] = static_cast<float>(r[i]);
    }
    return out;
}

}  // namespace synth
