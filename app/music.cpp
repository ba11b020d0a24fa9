#include "app/music.h"

#include "diag/check.h"

namespace talvo {

FMOD::System system;
FMOD::Sound sound;
FMOD::Channel channel;

void openmusic(const std::string& soundfile) {
    FMODCHECKED(FMOD::System_Create(&system));
    FMODCHECKED(system->init(1, FMOD_INIT_NORMAL, 0));
    FMODCHECKED(system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | FMOD_2D, 0, &sound));
}

void playmusic() {
    FMODCHECKED(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel));
}

void releasemusic() {
    FMODCHECKED(sound->release());
    FMODCHECKED(system->close());
    FMODCHECKED(system->release());
}

}  // namespace talvo
