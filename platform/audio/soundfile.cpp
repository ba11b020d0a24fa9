#include "platform/audio/soundfile.h"

#include "platform/audio/stream.h"

namespace talvo::platform {

FMOD_RESULT checksoundfile(const char* name) {
    FMOD::detail::stream opened;
    return opened.open(name, false);
}

std::string streamproblem(FMOD_RESULT result) {
    switch (result) {
        case FMOD_ERR_FILE_NOTFOUND: return "not found";
        case FMOD_ERR_FORMAT: return "not a sound file that can be played";
        case FMOD_ERR_FILE_EOF: return "truncated";
        default: return "";
    }
}

}  // namespace talvo::platform
