// The piece, section by section, shaped to the picture: 120 beats per minute, so every bar
// is two seconds long and every cut of the production falls on a bar line.
#include "score.h"

#include <functional>
#include <string>

#include "instruments.h"

namespace synth {

namespace {

struct chord {
    int root;  // bass note
    std::vector<int> notes;
};

const chord Am{33, {57, 60, 64}}, Am9{33, {57, 60, 64, 71}}, F{41, {53, 57, 60}},
    Fmaj7{41, {53, 57, 60, 64}}, C{36, {55, 60, 64}}, Cmaj7{36, {55, 59, 60, 64}},
    G{43, {55, 59, 62}}, Dm{38, {57, 62, 65}}, Dm9{38, {53, 57, 60, 64}},
    Em7{40, {55, 59, 62, 64}}, E{40, {56, 59, 64}}, Esus4{40, {57, 59, 64}}, Bb{34, {58, 62, 65}};

// One chord per bar, 97 bars.
const std::vector<const chord*>& harmony() {
    static const std::vector<const chord*> bars = [] {
        std::vector<const chord*> b;
        auto add = [&](std::initializer_list<const chord*> chords, int times = 1) {
            for (int i = 0; i < times; ++i) b.insert(b.end(), chords);
        };
        add({&Am9, &Am9, &Fmaj7, &Fmaj7, &Am9, &Esus4});  // 0 s: under the stars
        add({&Am, &F, &C, &G}, 2);                        // 12 s: the pulse
        add({&Am, &F, &C, &G}, 2);                        // 28 s: the first full beat
        add({&Fmaj7, &Esus4});                            // 44 s: break and rise
        add({&Am, &F, &C, &E});                           // 48 s
        add({&Dm, &G, &C, &Am}, 2);                       // 56 s: the ribbons' groove
        add({&E});
        add({&F, &G, &Am, &F, &G});                       // 74 s: driving
        add({&Esus4, &E});                                // 84 s: whiteout
        add({&Am9, &Am9, &Fmaj7, &Fmaj7, &Cmaj7, &Cmaj7, &Dm9, &Dm9, &Fmaj7, &Fmaj7, &Esus4});  // 88 s
        add({&Am, &Am, &Bb, &G}, 3);                      // 110 s: harsher
        add({&E});
        add({&Am, &F, &C, &G}, 3);                        // 136 s: the flight
        add({&Fmaj7, &Fmaj7, &Em7, &Em7, &Dm9, &Dm9, &Am9, &Am9}, 2);  // 160 s: credits
        add({&Am9});
        return b;
    }();
    return bars;
}

const chord& chordat(double t) {
    int b = std::clamp(static_cast<int>(t / bar), 0, static_cast<int>(harmony().size()) - 1);
    return *harmony()[b];
}

double ramp(double t, double from, double to, double a, double b) {
    double u = std::clamp((t - from) / (to - from), 0.0, 1.0);
    return a + (b - a) * u;
}

// Pads over bars [from, to); a chord held over several bars is one long note.
void pads(mix& m, int from, int to, double level, double cutoff, double attack, double width) {
    for (int b = from; b < to;) {
        int end = b + 1;
        while (end < to && harmony()[end] == harmony()[b]) ++end;
        pad(m, b * bar, (end - b) * bar, harmony()[b]->notes, level, cutoff, attack, width);
        b = end;
    }
}

// Calls hit(t, mark) for each marked sixteenth of bars [from, to); the pattern is one bar
// of sixteen marks, '.' for rest.
void steps(int from, int to, const std::string& pattern, const std::function<void(double, char)>& hit) {
    for (int b = from; b < to; ++b)
        for (size_t s = 0; s < pattern.size(); ++s)
            if (pattern[s] != '.') hit(b * bar + s * sixteenth, pattern[s]);
}

// Chord tones going up and down over the given octaves, one note every step seconds.
void arpeggio(mix& m, double from, double to, double step, int octaves, double level,
              const std::function<double(double)>& cutoff, double decay = 0.18) {
    long k = 0;
    for (double t = from; t < to - 1e-9; t = from + (++k) * step) {
        const chord& c = chordat(t);
        std::vector<int> tones;
        for (int o = 0; o < octaves; ++o)
            for (int n : c.notes) tones.push_back(n + 12 * o);
        const long cycle = 2 * static_cast<long>(tones.size()) - 2;
        long i = k % cycle;
        int note = tones[i < static_cast<long>(tones.size()) ? i : cycle - i];
        pluck(m, t, note, level, cutoff(t), 0.5 * std::sin(0.7 * k), decay);
    }
}

struct note {
    int at, length, pitch;  // start and length in sixteenths from the phrase's start
};

void play(double start, const std::vector<note>& phrase, const std::function<void(double, double, int)>& voice) {
    for (const note& n : phrase) voice(start + n.at * sixteenth, n.length * sixteenth, n.pitch);
}

void opening(mix& m) {
    wind(m, 0, 16, 0.12);
    pads(m, 0, 6, 0.07, 700, 5.0, 0.6);
    const std::pair<double, int> stars[] = {{1.0, 76}, {3.5, 83}, {5.0, 81}, {6.75, 88},
                                           {8.5, 79}, {9.5, 84}, {11.0, 76}};
    double side = -0.6;
    for (auto [t, n] : stars) {
        bell(m, t, n, 0.05, side);
        side = -side;
    }
    bass(m, 6, 6, 33, 0.08, 120);
}

void pulse(mix& m) {
    // 12 to 28 s: a heartbeat, then an arpeggio whose filter opens as the particles spread.
    steps(6, 14, "x...x...x...x...", [&](double t, char) {
        kick(m, t, ramp(t, 12, 28, 0.45, 0.8), 0.3);
    });
    steps(10, 14, "..x...x...x...x.", [&](double t, char) { hat(m, t, 0.05, 0.03, 0.3); });
    arpeggio(m, 12, 28, sixteenth, 2, 0.07, [](double t) { return ramp(t, 12, 28, 500, 2600); });
    pads(m, 6, 14, 0.05, 1100, 0.6, 0.6);
    steps(8, 14, "..x...x...x...x.", [&](double t, char) {
        bass(m, t, sixteenth * 1.6, chordat(t).root, 0.2, ramp(t, 16, 28, 250, 600));
    });
    riser(m, 24, 4, 0.1);
}

// Rolling sixteenths around the kick, root and octave.
void rollingbass(mix& m, int from, int to, double level, const std::function<double(double)>& cutoff,
                 double drive = 1.0) {
    steps(from, to, ".xxx.xxx.xxx.xxx", [&](double t, char) {
        int root = chordat(t).root;
        int step = static_cast<int>(std::lround((t - std::floor(t / beat) * beat) / sixteenth));
        bass(m, t, sixteenth * 0.8, step == 2 ? root + 12 : root, level, cutoff(t), drive);
    });
}

void lines(mix& m) {
    // 28 to 56 s: the first full beat; a break at 44 s and a rise back into it at 48 s.
    for (auto [from, to] : {std::pair{14, 22}, std::pair{24, 28}}) {
        steps(from, to, "x...x...x...x...", [&](double t, char) { kick(m, t, 1.0, 0.5); });
        steps(from, to, "....x.......x...", [&](double t, char) {
            clap(m, t, 0.35);
            snare(m, t, 0.3);
        });
        steps(from, to, "xxXxxxXxxxXxxxXx", [&](double t, char c) {
            hat(m, t, c == 'X' ? 0.07 : 0.035, 0.025, 0.25);
        });
        steps(from, to, "..x...x...x...x.", [&](double t, char) { hat(m, t, 0.04, 0.12, -0.3); });
        rollingbass(m, from, to, 0.22, [](double t) { return 450 + 250 * std::sin(2 * pi * t / 8); });
        crash(m, from * bar, 0.25);
    }
    arpeggio(m, 28, 44, sixteenth, 2, 0.05, [](double t) { return 2600 + 800 * std::sin(2 * pi * t / 16); });
    arpeggio(m, 48, 56, sixteenth, 2, 0.05, [](double) { return 3000.0; });
    pads(m, 14, 22, 0.045, 1800, 0.3, 0.7);
    pads(m, 24, 28, 0.045, 1800, 0.3, 0.7);

    const std::vector<note> phrase = {
        {0, 4, 76},  {6, 2, 74},  {8, 4, 72},  {12, 4, 74},  // Am
        {16, 6, 72}, {22, 2, 69}, {24, 8, 72},               // F
        {32, 4, 79}, {36, 4, 76}, {40, 4, 74}, {44, 4, 72},  // C
        {48, 6, 74}, {54, 2, 71}, {56, 8, 74},               // G
    };
    auto voice = [&](double t, double length, int pitch) { lead(m, t, length, pitch, 0.09, 1800); };
    play(32, phrase, voice);
    play(40, phrase, voice);
    play(48, phrase, voice);

    // The break: drums out, the pad opens up, bells, a riser and a snare roll into 48 s.
    pads(m, 22, 24, 0.07, 2500, 0.2, 0.9);
    bell(m, 44.0, 81, 0.05, -0.5);
    bell(m, 45.0, 76, 0.05, 0.5);
    bell(m, 46.0, 83, 0.05, -0.3);
    riser(m, 44, 4, 0.22);
    for (double t = 46.0; t < 48.0 - 1e-9;) {
        snare(m, t, ramp(t, 46, 48, 0.08, 0.35));
        t += t < 47.0 ? 2 * sixteenth : sixteenth / (t < 47.5 ? 1 : 2);
    }
}

void ribbons(mix& m) {
    // 56 to 74 s: a broken, swinging groove for the ribbons.
    steps(28, 37, "x.....x...x.....", [&](double t, char) { kick(m, t, 1.0, 0.4); });
    steps(28, 37, "....X..o....X..o", [&](double t, char c) {
        snare(m, t, c == 'X' ? 0.32 : 0.09);
        if (c == 'X') clap(m, t, 0.2);
    });
    long k = 0;
    steps(28, 37, "xxxxxxxxxxxxxxxx", [&](double t, char) {
        // Every second sixteenth comes late, and the hats drift across the field.
        double late = (k++ % 2) ? 0.035 : 0.0;
        hat(m, t + late, late > 0 ? 0.03 : 0.05, 0.03, 0.7 * std::sin(2 * pi * t / 4));
    });
    const std::vector<note> groove = {{0, 3, 0}, {3, 1, 12}, {6, 2, 0}, {10, 2, 7}, {14, 2, 12}};
    for (int b = 28; b < 37; ++b)
        play(b * bar, groove, [&](double t, double length, int offset) {
            bass(m, t, length, chordat(t).root + offset, 0.22, 380, 1.3);
        });
    steps(28, 37, "......x.......x.", [&](double t, char) { stab(m, t, chordat(t).notes, 0.06, 1600); });
    pads(m, 28, 37, 0.035, 1300, 0.4, 0.8);
    const std::vector<note> phrase = {
        {0, 3, 77},  {3, 3, 76},  {6, 2, 74},  {10, 6, 69},  // Dm
        {16, 3, 74}, {19, 3, 76}, {22, 2, 77}, {26, 6, 79},  // G
        {32, 3, 79}, {35, 3, 76}, {38, 2, 72}, {42, 6, 76},  // C
        {48, 3, 76}, {51, 3, 74}, {54, 2, 72}, {56, 8, 69},  // Am
    };
    for (double start : {60.0, 68.0})
        play(start, phrase, [&](double t, double length, int pitch) {
            pluck(m, t, pitch + 12, 0.09, 2200, 0.2, 0.25);
            pluck(m, t, pitch, 0.06, 1500, -0.2, length);
        });
    crash(m, 56, 0.3);
}

void drive(mix& m) {
    // 74 to 84 s driving and rising; 84 to 88 s a whiteout, cut short just before the hit.
    steps(37, 42, "x...x...x...x..x", [&](double t, char) { kick(m, t, 1.0, 0.55); });
    steps(37, 42, "....x.......x...", [&](double t, char) {
        snare(m, t, 0.32);
        clap(m, t, 0.25);
    });
    steps(37, 42, "xxXxxxXxxxXxxxXx", [&](double t, char c) {
        hat(m, t, c == 'X' ? 0.08 : 0.045, 0.03, 0.3);
    });
    steps(37, 42, "..x...x...x...x.", [&](double t, char) { hat(m, t, 0.05, 0.15, -0.3); });
    rollingbass(m, 37, 42, 0.22, [](double t) { return ramp(t, 74, 84, 400, 1800); });
    arpeggio(m, 74, 84, sixteenth, 3, 0.05, [](double t) { return ramp(t, 74, 84, 1500, 6000); });
    pads(m, 37, 42, 0.04, 1500, 0.3, 0.8);
    crash(m, 74, 0.3);
    riser(m, 78, 9.75, 0.25);

    // Whiteout: the chord held wide open, white noise swelling, a snare roll speeding up.
    pad(m, 84, 3.6, E.notes, 0.15, 6000, 0.5, 1.0);
    for (double t = 84.0; t < 87.75 - 1e-9;) {
        snare(m, t, ramp(t, 84, 87.75, 0.15, 0.35));
        t += t < 86.0 ? sixteenth : sixteenth / 2;
    }
    riser(m, 82, 5.75, 0.8);
}

void impact(mix& m) {
    // 88 s: the flash.
    boom(m, 88, 0.75);
    kick(m, 88, 1.0, 0.0, 1.5);
    crash(m, 88, 0.6);
    stab(m, 88, {45, 57, 60, 64, 69, 72, 76}, 0.25, 2500);
}

void floating(mix& m) {
    // 88 to 110 s: wide and floating, no drums.
    pads(m, 44, 55, 0.085, 2200, 0.8, 0.8);
    arpeggio(m, 89, 108, beat / 2, 3, 0.035, [](double) { return 2500.0; }, 0.5);
    for (int b = 44; b < 55; ++b) bass(m, b * bar, bar, harmony()[b]->root, 0.12, 140);
    const std::vector<note> phrase = {{0, 16, 81}, {16, 16, 79}, {32, 12, 76}, {44, 4, 74}, {48, 16, 77}};
    play(96, phrase, [&](double t, double length, int pitch) { lead(m, t, length, pitch, 0.05, 1500); });
    riser(m, 106, 4, 0.12);
}

void harsher(mix& m) {
    // 110 to 136 s: the beat returns and everything is driven harder as the distortion grows.
    auto harsh = [](double t) { return ramp(t, 110, 136, 0.0, 1.0); };
    steps(55, 68, "x...x...x...x...", [&](double t, char) { kick(m, t, 1.0, 0.5, 1 + 2 * harsh(t)); });
    steps(55, 68, "....x.......x...", [&](double t, char) { snare(m, t, 0.32, 1 + 3 * harsh(t)); });
    steps(55, 68, "xxxxxxxxxxxxxxxx", [&](double t, char) {
        hat(m, t, 0.04 + 0.03 * harsh(t), 0.025, 0.3, harsh(t));
    });
    steps(55, 68, "x.xxx.xxx.xxx.xx", [&](double t, char) {
        bass(m, t, sixteenth * 0.9, chordat(t).root, 0.2, 350 + 1500 * harsh(t), 1 + 6 * harsh(t));
    });
    const std::vector<note> riff = {{0, 2, 57}, {3, 1, 57}, {4, 2, 60}, {7, 1, 57},
                                    {8, 2, 62}, {10, 2, 60}, {12, 2, 64}, {14, 2, 62}};
    for (int b = 59; b < 68; ++b) {
        int shift = harmony()[b] == &Bb ? 1 : harmony()[b] == &G ? -2 : harmony()[b] == &E ? -5 : 0;
        play(b * bar, riff, [&](double t, double length, int pitch) {
            lead(m, t, length, pitch + shift, 0.08, 900 + 2500 * harsh(t), 1 + 5 * harsh(t));
        });
    }
    pads(m, 55, 68, 0.035, 1500, 0.4, 0.7);
    crash(m, 110, 0.3);
    crash(m, 126, 0.3);
    riser(m, 132, 4, 0.2);
}

void flight(mix& m) {
    // 136 to 160 s: the fastest section; an accent on every bar line, where the camera cuts,
    // after the drums leave the bar's last eighth free. The accent's boom is the downbeat's kick.
    steps(68, 80, "..x...x..xx.x...", [&](double t, char) { kick(m, t, 0.7, 0.45); });
    steps(68, 80, "....X..o.o..X...", [&](double t, char c) {
        snare(m, t, c == 'X' ? 0.25 : 0.06);
        if (c == 'X') clap(m, t, 0.15);
    });
    for (int b = 68; b < 80; ++b)
        for (int s = 0; s < 28; ++s)
            hat(m, b * bar + s * sixteenth / 2, s % 4 == 2 ? 0.045 : 0.02, 0.015, 0.4 * std::sin(s * 0.9));
    steps(68, 80, "xxxxxxxxxxxxxxxx", [&](double t, char) {
        long s = std::lround(t / sixteenth);
        bass(m, t, sixteenth * 0.8, chordat(t).root + (s % 2 ? 12 : 0), 0.15, 700, 2.0);
    });
    arpeggio(m, 136, 160, sixteenth / 2, 2, 0.035, [](double) { return 3200.0; }, 0.1);
    pads(m, 68, 80, 0.04, 2000, 0.3, 0.9);
    for (int b = 68; b < 80; ++b) {
        double t = b * bar;
        crash(m, t, 0.45);
        stab(m, t, chordat(t).notes, 0.2, 3000);
        boom(m, t, 0.4);
        m.duck(t, 0.45);
    }
    const std::vector<note> phrase = {{0, 8, 76},  {8, 8, 81},  {16, 12, 77}, {28, 4, 76},
                                      {32, 8, 79}, {40, 8, 84}, {48, 12, 83}, {60, 4, 79}};
    for (double start : {144.0, 152.0})
        play(start, phrase, [&](double t, double length, int pitch) { lead(m, t, length, pitch, 0.08, 2400); });
}

void outro(mix& m) {
    // 160 to 194 s: calm, for the credits; the last heartbeats fade out early.
    steps(80, 84, "x.......x.......", [&](double t, char) { kick(m, t, ramp(t, 160, 168, 0.5, 0.1), 0.2); });
    crash(m, 160, 0.3);
    for (int b = 80; b < 97;) {
        int end = b + 1;
        while (end < 97 && harmony()[end] == harmony()[b]) ++end;
        pad(m, b * bar, (end - b) * bar, harmony()[b]->notes, ramp(b * bar, 160, 194, 0.07, 0.045),
            ramp(b * bar, 160, 194, 2000, 700), 0.8, 0.9);
        b = end;
    }
    arpeggio(m, 160, 188, beat, 2, 0.05, [](double t) { return ramp(t, 160, 188, 2500, 1200); }, 0.5);
    for (int b = 80; b < 90; ++b) bass(m, b * bar, bar, harmony()[b]->root, 0.1, 130);
    wind(m, 176, 18, 0.06);
    bell(m, 190, 81, 0.05, 0.0);
}

}  // namespace

void compose(mix& m) {
    opening(m);
    pulse(m);
    lines(m);
    ribbons(m);
    drive(m);
    impact(m);
    floating(m);
    harsher(m);
    flight(m);
    outro(m);
}

}  // namespace synth
