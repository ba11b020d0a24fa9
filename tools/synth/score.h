#pragma once
#include "mix.h"
#include "scenes/schedule.h"

namespace synth {

// Length of the piece in seconds: the production's, from its schedule. The score's sections
// follow the scenes' starts in its own bars (score.cpp).
constexpr double piecelength = talvo::schedule::endtime / 1000.0;

// Writes every note of the piece into the mix.
void compose(mix& m);

}  // namespace synth
