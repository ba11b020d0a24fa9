#pragma once
// The instruments: each call renders one note (or hit) straight into the mix. Times are in
// seconds from the start of the piece, notes are MIDI numbers, levels are linear.
#include <vector>

#include "mix.h"

namespace synth {

// Drums go to the drum bus; a kick also makes the music bus dip by duckdepth.
void kick(mix& m, double t, double level, double duckdepth, double drive = 1.0);
void snare(mix& m, double t, double level, double drive = 1.0);
void clap(mix& m, double t, double level);
// decay sets closed (short) or open (long); crush holds samples for a coarser, harsher hat.
void hat(mix& m, double t, double level, double decay, double position, double crush = 0.0);
void crash(mix& m, double t, double level);

// Saw and sub through a resonant low pass whose cutoff jumps at the note's start.
void bass(mix& m, double t, double length, int note, double level, double cutoff, double drive = 1.0);
// Detuned saws spread across the stereo field; width 0 keeps them in the middle.
void pad(mix& m, double t, double length, const std::vector<int>& notes, double level, double cutoff,
         double attack, double width);
void pluck(mix& m, double t, int note, double level, double cutoff, double position, double decay = 0.18);
void lead(mix& m, double t, double length, int note, double level, double cutoff, double drive = 1.0);
void bell(mix& m, double t, int note, double level, double position);
void stab(mix& m, double t, const std::vector<int>& notes, double level, double cutoff);

// Noise rising in pitch and level over length seconds, ending at t + length.
void riser(mix& m, double t, double length, double level);
// A deep impact: falling sine, noise burst, long tail.
void boom(mix& m, double t, double level);
// Slowly moving filtered noise.
void wind(mix& m, double t, double length, double level);

}  // namespace synth
