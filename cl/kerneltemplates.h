#pragma once
// The two kernel templates into which a scene's piece of OpenCL C (its expression) is placed,
// and the caches that build each distinct source once.
//
// Both templates give the kernels "update", which evaluates the expression once per vertex,
// and "zero", which clears its one float4 buffer. The expression reads i (the vertex index),
// f (i / maxcount), count, maxcount and acctime (production seconds), and writes x, y, z, w;
// a curve expression also writes the tangent xt, yt, zt and the normal xn, yn, zn. A point
// expression must end with a semicolon; a curve expression may leave its last one out.
#include <string>

#include "cl/clprogram.h"

namespace talvo {

// The options every generated program is built with.
extern const char* const generatedoptions;

std::string pointsource(const std::string& expression);
std::string curvesource(const std::string& expression, const std::string& prefix);

// The program for a complete source, built on the first request; every caller gets its own
// copy of the handle. Cached programs live until dropprogramcaches.
CLProgram pointprogram(const std::string& source);
CLProgram curveprogram(const std::string& source);
// Lets go of the cached programs. The OpenCL context goes with the last program (its memory
// objects, queue and context released), which must be before the GL contexts it shares with
// are destroyed: called once every scene is gone, before the windows close.
void dropprogramcaches();

// Production time in seconds as the expressions see it: updatetime - starttime in 32-bit
// milliseconds, times 0.001.
float acctime();

}  // namespace talvo
