#pragma once
// The window-sized multisampled HDR targets every scene draws into. The production state
// replaces them on every resize and releases them when it leaves, so scenes fetch them again
// in their own resize. Empty handles until the first resize.
#include "gl/texture.h"

namespace talvo {

extern Texture sharedcolor;   // GL_RGB16F
extern Texture sharedcolor2;  // GL_RGB16F
extern Texture shareddepth;   // GL_DEPTH_COMPONENT24

}  // namespace talvo
