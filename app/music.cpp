#include "app/music.h"

#include "diag/check.h"
#include "diag/warn.h"
#include "platform/audio/soundfile.h"

namespace talvo {

FMOD::System system;
FMOD::Sound sound;
FMOD::Channel channel;

void openmusic(const std::string& soundfile) {
    FMODCHECKED(FMOD::System_Create(&system));
    FMODCHECKED(system->init(1, FMOD_INIT_NORMAL, 0));
    const int streamed =
        FMODCHECKED(system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | FMOD_2D, 0, &sound));
    if (const std::string problem = platform::streamproblem(FMOD_RESULT(streamed)); !problem.empty())
        warn(soundfile + ": " + problem + ": the production plays without music");
}

void playmusic(uint32_t from, bool paused) {
    if (!system) return;
    if (from == 0 && !paused) {
        FMODCHECKED(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel));
        return;
    }
    // Started paused and moved before it is heard, so that its first sample is the one at `from`.
    FMODCHECKED(system->playSound(FMOD_CHANNEL_FREE, sound, true, &channel));
    FMODCHECKED(channel->setPosition(from, FMOD_TIMEUNIT_MS));
    if (!paused) FMODCHECKED(channel->setPaused(false));
}

void resumemusic(uint32_t at) {
    if (!system) return;
    FMODCHECKED(channel->setPosition(at, FMOD_TIMEUNIT_MS));
    FMODCHECKED(channel->setPaused(false));
}

void pausemusic() {
    if (system) FMODCHECKED(channel->setPaused(true));
}

void releasemusic() {
    if (!system) return;
    FMODCHECKED(sound->release());
    FMODCHECKED(system->close());
    FMODCHECKED(system->release());
}

}  // namespace talvo
