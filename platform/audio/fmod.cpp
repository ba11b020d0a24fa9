#include "platform/audio/fmod.h"

#include "platform/audio/mixer.h"
#include "platform/audio/stream.h"

namespace FMOD {

namespace {
bool live(const std::shared_ptr<detail::mixer>& m) { return m && !m->released; }
bool live(const std::shared_ptr<detail::stream>& s) { return s && s->file; }
}  // namespace

FMOD_RESULT System_Create(System* system) {
    if (!system) return FMOD_ERR_INVALID_PARAM;
    system->mixer = std::make_shared<detail::mixer>();
    return FMOD_OK;
}

FMOD_RESULT System::init(int maxchannels, FMOD_INITFLAGS, void*) {
    if (!live(mixer)) return FMOD_ERR_INVALID_HANDLE;
    return mixer->init(maxchannels);
}

FMOD_RESULT System::createStream(const char* name, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                                 Sound* sound) {
    if (!live(mixer)) return FMOD_ERR_INVALID_HANDLE;
    if (!name || exinfo || !sound) return FMOD_ERR_INVALID_PARAM;
    if (!mixer->initialised()) return FMOD_ERR_UNINITIALIZED;
    auto s = std::make_shared<detail::stream>();
    if (FMOD_RESULT r = s->open(name, (mode & FMOD_LOOP_NORMAL) != 0)) return r;
    // Refuse now, not at playSound, what cannot be played on this device.
    SDL_AudioStream* converter = detail::makeconverter(*s, mixer->output);
    if (!converter) return FMOD_ERR_FORMAT;
    SDL_FreeAudioStream(converter);
    s->owner = mixer;
    sound->stream = std::move(s);
    return FMOD_OK;
}

FMOD_RESULT System::playSound(FMOD_CHANNELINDEX channelid, Sound sound, bool paused,
                              Channel* channel) {
    if (!live(mixer) || !live(sound.stream)) return FMOD_ERR_INVALID_HANDLE;
    // A stream is stopped through the system that opened it, so it only plays there.
    if (channelid != FMOD_CHANNEL_FREE || sound.stream->owner.lock() != mixer)
        return FMOD_ERR_INVALID_PARAM;
    if (!mixer->initialised()) return FMOD_ERR_UNINITIALIZED;
    std::shared_ptr<detail::voice> started;
    if (FMOD_RESULT r = mixer->play(sound.stream, paused, &started)) return r;
    if (channel) channel->voice = std::move(started);
    return FMOD_OK;
}

FMOD_RESULT System::close() {
    if (!live(mixer)) return FMOD_ERR_INVALID_HANDLE;
    mixer->close();
    return FMOD_OK;
}

FMOD_RESULT System::release() {
    if (!live(mixer)) return FMOD_ERR_INVALID_HANDLE;
    mixer->close();
    mixer->released = true;
    mixer.reset();
    return FMOD_OK;
}

FMOD_RESULT Channel::setPaused(bool paused) {
    std::shared_ptr<detail::mixer> owner = voice ? voice->source->owner.lock() : nullptr;
    if (!live(owner)) return FMOD_ERR_INVALID_HANDLE;
    return owner->pause(voice.get(), paused);
}

FMOD_RESULT Channel::setPosition(unsigned int position, FMOD_TIMEUNIT postype) {
    std::shared_ptr<detail::mixer> owner = voice ? voice->source->owner.lock() : nullptr;
    if (!live(owner)) return FMOD_ERR_INVALID_HANDLE;
    if (postype != FMOD_TIMEUNIT_MS) return FMOD_ERR_INVALID_PARAM;
    return owner->seek(voice.get(), sf_count_t(position) * voice->source->info.samplerate / 1000);
}

FMOD_RESULT Sound::release() {
    if (!live(stream)) return FMOD_ERR_INVALID_HANDLE;
    if (auto owner = stream->owner.lock()) owner->stop(stream.get());
    stream->close();
    stream.reset();
    return FMOD_OK;
}

}  // namespace FMOD
