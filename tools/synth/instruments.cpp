#include "instruments.h"

namespace synth {

namespace {

// Every note draws its noise from a generator seeded by where it starts and what it is, so
// the noise does not depend on the order notes are rendered in.
rng noisefor(double t, uint64_t instrument) {
    return rng(static_cast<uint64_t>(sampleat(t)) * 64 + instrument);
}

// Calls voice(x) for every sample of a note starting at t and lasting length seconds,
// where x is the time since the note's start; voice returns the left and right sample. The
// last few milliseconds fade out, so that no note ends in a click.
template <typename Voice>
void render(mix& m, double t, double length, const route& to, Voice voice) {
    const long start = sampleat(t);
    const long n = sampleat(length);
    const double fade = sampleat(0.005);
    for (long k = 0; k < n; ++k) {
        auto [l, r] = voice(static_cast<double>(k) / rate);
        double tail = std::min(1.0, (n - k) / fade);
        m.put(start + k, l * tail, r * tail, to);
    }
}

struct frame {
    double l, r;
};

frame centre(double x) { return {x, x}; }

}  // namespace

void kick(mix& m, double t, double level, double duckdepth, double drive) {
    oscillator body;
    rng noise = noisefor(t, 1);
    render(m, t, 1.0, route{0.02, 0, false}, [&](double x) {
        double freq = 46 + 120 * std::exp(-x / 0.028);
        double y = body.sine(freq) * envelope(x, 0.0015, 0.16);
        y += 0.25 * noise.bipolar() * std::exp(-x / 0.002);
        return centre(level * saturate(y, drive));
    });
    if (duckdepth > 0) m.duck(t, duckdepth);
}

void snare(mix& m, double t, double level, double drive) {
    oscillator tone;
    rng noise = noisefor(t, 2);
    svf filter;
    const filtershape shape(1400, 0.7);
    render(m, t, 0.6, route{0.12, 0, false}, [&](double x) {
        filter.run(noise.bipolar(), shape);
        double y = 0.55 * tone.sine(185 - 20 * x) * envelope(x, 0.001, 0.045) +
                   0.7 * filter.high * envelope(x, 0.001, 0.085);
        return centre(level * saturate(y, drive));
    });
}

void clap(mix& m, double t, double level) {
    rng noise = noisefor(t, 3);
    svf filter;
    const filtershape shape(1500, 1.3);
    render(m, t, 0.7, route{0.25, 0, false}, [&](double x) {
        // Three quick bursts, then the tail.
        double e = 0;
        for (double at : {0.0, 0.011, 0.022}) e = std::max(e, envelope(x - at, 0.0005, 0.004));
        e = std::max(e, 0.6 * envelope(x - 0.03, 0.001, 0.09));
        filter.run(noise.bipolar(), shape);
        return centre(level * 2.0 * filter.band * e);
    });
}

void hat(mix& m, double t, double level, double decay, double position, double crush) {
    rng noise = noisefor(t, 4);
    svf filter;
    const filtershape shape(7500, 0.8);
    const pan p(position);
    const int hold = 1 + static_cast<int>(crush * 7);
    double held = 0;
    long k = 0;
    render(m, t, decay * 6, route{0.05, 0, false}, [&](double x) {
        filter.run(noise.bipolar(), shape);
        if (k++ % hold == 0) held = filter.high;
        double y = level * held * envelope(x, 0.0005, decay);
        return frame{y * p.l, y * p.r};
    });
}

void crash(mix& m, double t, double level) {
    rng noise = noisefor(t, 5);
    svf fl, fr, ringl, ringr;
    const filtershape high(3500, 0.7), ring(6200, 3.0);
    render(m, t, 5.5, route{0.3, 0, false}, [&](double x) {
        fl.run(noise.bipolar(), high);
        fr.run(noise.bipolar(), high);
        ringl.run(fl.high, ring);
        ringr.run(fr.high, ring);
        double e = level * envelope(x, 0.002, 0.8);
        return frame{e * (fl.high + 0.6 * ringl.band), e * (fr.high + 0.6 * ringr.band)};
    });
}

void bass(mix& m, double t, double length, int note, double level, double cutoff, double drive) {
    oscillator saw, sub;
    svf filter;
    const double freq = hz(note);
    render(m, t, length + 0.05, route{0, 0, true}, [&](double x) {
        filtershape shape(cutoff * (1 + 3 * envelope(x, 0.002, 0.07)), 1.4);
        filter.run(saw.saw(freq), shape);
        double y = 0.7 * filter.low + 0.6 * sub.sine(freq);
        return centre(level * saturate(y, drive) * swell(x, length, 0.004, 0.04));
    });
}

void pad(mix& m, double t, double length, const std::vector<int>& notes, double level, double cutoff,
         double attack, double width) {
    const double release = 1.2;
    // Three detuned saws per note, one left, one centre, one right.
    const double detune[3] = {-0.09, 0.0, 0.08};
    std::vector<oscillator> voices(notes.size() * 3);
    for (size_t v = 0; v < voices.size(); ++v) voices[v].phase = 0.37 * v - std::floor(0.37 * v);
    svf filters[3];
    const pan left(-width), right(width);
    filtershape shape(cutoff, 0.9);
    long k = 0;
    const double scale = level / std::sqrt(static_cast<double>(notes.size()));
    render(m, t, length + release, route{0.35, 0, true}, [&](double x) {
        // The cutoff wanders slowly; the filter is updated every 32 samples.
        if (k++ % 32 == 0) shape = filtershape(cutoff * (1 + 0.3 * std::sin(2 * pi * 0.11 * (t + x))), 0.9);
        double side[3] = {0, 0, 0};
        for (size_t n = 0; n < notes.size(); ++n)
            for (int s = 0; s < 3; ++s) side[s] += voices[n * 3 + s].saw(hz(notes[n] + detune[s]));
        for (int s = 0; s < 3; ++s) filters[s].run(side[s], shape);
        double e = scale * swell(x, length, attack, release);
        return frame{e * (filters[0].low * left.l + 0.7 * filters[1].low + filters[2].low * right.l),
                     e * (filters[0].low * left.r + 0.7 * filters[1].low + filters[2].low * right.r)};
    });
}

void pluck(mix& m, double t, int note, double level, double cutoff, double position, double decay) {
    oscillator a, b;
    svf filter;
    const pan p(position);
    const double freq = hz(note);
    long k = 0;
    filtershape shape(cutoff, 1.6);
    render(m, t, decay * 6, route{0.2, 0.3, true}, [&](double x) {
        if (k++ % 8 == 0) shape = filtershape(cutoff * (1 + 5 * envelope(x, 0.001, 0.05)), 1.6);
        filter.run(0.6 * a.saw(freq) + 0.4 * b.square(freq * 1.003), shape);
        double y = level * filter.low * envelope(x, 0.002, decay);
        return frame{y * p.l, y * p.r};
    });
}

void lead(mix& m, double t, double length, int note, double level, double cutoff, double drive) {
    oscillator a, b, vibrato;
    svf filter;
    long k = 0;
    filtershape shape(cutoff, 1.2);
    render(m, t, length + 0.2, route{0.2, 0.3, true}, [&](double x) {
        double wobble = 0.15 * std::min(1.0, x / 0.4) * vibrato.sine(5.2);
        double freq = hz(note + wobble);
        if (k++ % 16 == 0) shape = filtershape(cutoff * (1 + 2 * envelope(x, 0.005, 0.2)), 1.2);
        filter.run(a.saw(freq * 0.9965) + b.saw(freq * 1.0035), shape);
        double y = level * 0.6 * saturate(filter.low, drive) * swell(x, length, 0.012, 0.15);
        return frame{y * 0.9, y};
    });
}

void bell(mix& m, double t, int note, double level, double position) {
    oscillator carrier, modulator;
    const pan p(position);
    const double freq = hz(note);
    render(m, t, 7.0, route{0.5, 0.3, true}, [&](double x) {
        double index = 2.2 * std::exp(-x / 0.35);
        double mod = index * modulator.sine(freq * 3.5);
        // Phase modulation: nudge the carrier by the modulator.
        double y = level * std::sin(2 * pi * carrier.tick(freq) + mod) * envelope(x, 0.002, 1.1);
        return frame{y * p.l, y * p.r};
    });
}

void stab(mix& m, double t, const std::vector<int>& notes, double level, double cutoff) {
    std::vector<oscillator> voices(notes.size() * 2);
    svf fl, fr;
    long k = 0;
    filtershape shape(cutoff, 1.1);
    render(m, t, 0.9, route{0.3, 0.35, true}, [&](double x) {
        if (k++ % 8 == 0) shape = filtershape(cutoff * (1 + 3 * envelope(x, 0.001, 0.08)), 1.1);
        double l = 0, r = 0;
        for (size_t n = 0; n < notes.size(); ++n) {
            l += voices[2 * n].saw(hz(notes[n] - 0.08));
            r += voices[2 * n + 1].saw(hz(notes[n] + 0.08));
        }
        fl.run(l, shape);
        fr.run(r, shape);
        double e = level * envelope(x, 0.002, 0.14) / std::sqrt(static_cast<double>(notes.size()));
        return frame{e * fl.low, e * fr.low};
    });
}

void riser(mix& m, double t, double length, double level) {
    rng noise = noisefor(t, 6);
    svf fl, fr;
    long k = 0;
    filtershape shape(300, 2.0);
    render(m, t, length, route{0.3, 0, false}, [&](double x) {
        double u = x / length;
        if (k++ % 16 == 0) shape = filtershape(300 * std::pow(30.0, u), 2.0);
        fl.run(noise.bipolar(), shape);
        fr.run(noise.bipolar(), shape);
        double e = level * u * u;
        return frame{e * (fl.band + 0.3 * fl.high), e * (fr.band + 0.3 * fr.high)};
    });
}

void boom(mix& m, double t, double level) {
    oscillator body;
    rng noise = noisefor(t, 7);
    onepole dust;
    const double coefficient = onepole::coefficient(900);
    render(m, t, 8.0, route{0.4, 0, false}, [&](double x) {
        double y = body.sine(36 + 70 * std::exp(-x / 0.07)) * envelope(x, 0.002, 1.3);
        y += 1.5 * dust.lowpass(noise.bipolar(), coefficient) * envelope(x, 0.001, 0.3);
        return centre(level * saturate(y, 1.8));
    });
}

void wind(mix& m, double t, double length, double level) {
    rng noise = noisefor(t, 8);
    svf fl, fr;
    long k = 0;
    filtershape sl(600, 3.0), sr(600, 3.0);
    render(m, t, length, route{0.3, 0, true}, [&](double x) {
        if (k++ % 64 == 0) {
            sl = filtershape(700 + 450 * std::sin(2 * pi * 0.09 * x) + 200 * std::sin(2 * pi * 0.23 * x), 3.0);
            sr = filtershape(700 + 450 * std::sin(2 * pi * 0.07 * x + 1) + 200 * std::sin(2 * pi * 0.19 * x), 3.0);
        }
        fl.run(noise.bipolar(), sl);
        fr.run(noise.bipolar(), sr);
        double e = level * swell(x, length - 3.0, 3.0, 3.0);
        return frame{e * fl.band, e * fr.band};
    });
}

}  // namespace synth
