#include "engine/globals.h"

namespace talvo {

int windowwidth = 0;
int windowheight = 0;
std::atomic<bool> quit{false};
uint32_t starttime = 0;
uint32_t frametime = 0;
uint32_t updatetime = 0;
uint32_t prevupdatetime = 0;

}  // namespace talvo
