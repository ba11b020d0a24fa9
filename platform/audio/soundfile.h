#pragma once
// Whether a sound file can be streamed, for a program that hands it to another player instead
// of playing it (the capture tool gives the music to ffmpeg): the test createStream makes.
#include <string>

#include "platform/audio/fmod.h"

namespace talvo::platform {

// FMOD_OK, or what createStream answers for the file: FMOD_ERR_FILE_NOTFOUND, FMOD_ERR_FORMAT
// (not a sound file it reads) or FMOD_ERR_FILE_EOF (cut short).
FMOD_RESULT checksoundfile(const char* name);

// What a stream's open result says of its file ("not found", "not a sound file that can be
// played", "truncated"); empty where it says nothing (a success, or a system never set up).
std::string streamproblem(FMOD_RESULT result);

}  // namespace talvo::platform
