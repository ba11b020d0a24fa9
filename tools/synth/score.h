#pragma once
#include "mix.h"

namespace synth {

// Length of the piece in seconds: the production's five scenes, 0 to 194 s.
constexpr double piecelength = 194.0;

// Writes every note of the piece into the mix.
void compose(mix& m);

}  // namespace synth
