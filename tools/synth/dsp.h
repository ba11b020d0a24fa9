#pragma once
// Building blocks of the synthesiser: timing, deterministic noise, band-limited oscillators,
// filters and envelopes. Everything is plain double arithmetic, so the same build renders
// the same samples every time.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace synth {

constexpr int rate = 44100;
constexpr double pi = 3.14159265358979323846;
// 120 beats per minute: one beat is half a second, one bar of four beats two seconds.
constexpr double beat = 0.5;
constexpr double bar = 4 * beat;
constexpr double sixteenth = beat / 4;

inline double hz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }
inline long sampleat(double seconds) { return std::lround(seconds * rate); }
inline double db(double decibels) { return std::pow(10.0, decibels / 20.0); }

// xorshift64*: our own generator, so the noise does not depend on the C library.
class rng {
public:
    explicit rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    double next() {  // [0, 1)
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return static_cast<double>((s * 0x2545F4914F6CDD1Dull) >> 11) * (1.0 / 9007199254740992.0);
    }
    double bipolar() { return 2.0 * next() - 1.0; }

private:
    uint64_t s;
};

// Removes the aliasing step of a discontinuity at phase 0 (polyBLEP).
inline double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct oscillator {
    double phase = 0;

    double sine(double freq) {
        double y = std::sin(2 * pi * phase);
        advance(freq / rate);
        return y;
    }
    double saw(double freq) {
        double dt = freq / rate;
        double y = 2.0 * phase - 1.0 - blep(phase, dt);
        advance(dt);
        return y;
    }
    // The phase before this sample, for oscillators that shape it themselves.
    double tick(double freq) {
        double p = phase;
        advance(freq / rate);
        return p;
    }
    double square(double freq) {
        double dt = freq / rate;
        double half = phase + 0.5 - std::floor(phase + 0.5);
        double y = (phase < 0.5 ? 1.0 : -1.0) + blep(phase, dt) - blep(half, dt);
        advance(dt);
        return y;
    }

private:
    void advance(double dt) {
        phase += dt;
        phase -= std::floor(phase);
    }
};

// Coefficients of the state-variable filter below; computing them is the costly part, so
// voices that share a cutoff share them.
struct filtershape {
    double a1, a2, a3, k;
    filtershape(double cutoff, double q) {
        double g = std::tan(pi * std::clamp(cutoff, 10.0, rate * 0.45) / rate);
        k = 1.0 / q;
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
};

// Trapezoidal state-variable filter: low, band and high pass from one state.
struct svf {
    double s1 = 0, s2 = 0;
    double low = 0, band = 0, high = 0;

    void run(double x, const filtershape& f) {
        double v3 = x - s2;
        double v1 = f.a1 * s1 + f.a2 * v3;
        double v2 = s2 + f.a2 * s1 + f.a3 * v3;
        s1 = 2 * v1 - s1;
        s2 = 2 * v2 - s2;
        low = v2;
        band = v1;
        high = x - f.k * v1 - v2;
    }
};

struct onepole {
    double y = 0;
    double lowpass(double x, double coefficient) { return y += coefficient * (x - y); }
    static double coefficient(double cutoff) { return 1.0 - std::exp(-2 * pi * cutoff / rate); }
};

// Linear attack, then exponential decay with the given time constant.
inline double envelope(double t, double attack, double decay) {
    if (t < 0) return 0;
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / decay);
}

// Rises over attack, holds until length, falls over release: for pads and held notes.
inline double swell(double t, double length, double attack, double release) {
    if (t < 0 || t > length + release) return 0;
    double up = t < attack ? 0.5 - 0.5 * std::cos(pi * t / attack) : 1.0;
    double down = t > length ? 0.5 + 0.5 * std::cos(pi * (t - length) / release) : 1.0;
    return up * down;
}

// Equal-power pan position, -1 left to +1 right.
struct pan {
    double l, r;
    explicit pan(double position)
        : l(std::cos((position + 1) * pi / 4)), r(std::sin((position + 1) * pi / 4)) {}
};

inline double saturate(double x, double drive) {
    return drive <= 1.0 ? x : std::tanh(x * drive) / std::tanh(drive);
}

}  // namespace synth
