#include "engine/sharedtargets.h"

namespace talvo {

Texture sharedcolor;
Texture sharedcolor2;
Texture shareddepth;

}  // namespace talvo
