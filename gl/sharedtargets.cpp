#include "gl/sharedtargets.h"

namespace talvo {

Texture sharedcolor;
Texture sharedcolor2;
Texture shareddepth;

}  // namespace talvo
