#include "platform/audio/soundfile.h"

#include "platform/audio/stream.h"

namespace talvo::platform {

FMOD_RESULT checksoundfile(const char* name) {
    FMOD::detail::stream opened;
    return opened.open(name, false);
}

}  // namespace talvo::platform
