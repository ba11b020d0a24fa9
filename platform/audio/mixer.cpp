#include "platform/audio/mixer.h"

#include <dlfcn.h>

#include <algorithm>

namespace FMOD::detail {

namespace {

// Holds the device lock for a scope; a silent system has no device and nothing to lock.
class devicelock {
public:
    explicit devicelock(SDL_AudioDeviceID d) : device(d) {
        if (device) SDL_LockAudioDevice(device);
    }
    ~devicelock() {
        if (device) SDL_UnlockAudioDevice(device);
    }
    devicelock(const devicelock&) = delete;
    devicelock& operator=(const devicelock&) = delete;

private:
    SDL_AudioDeviceID device;
};

extern "C" void quietalsaerror(const char*, int, const char*, int, const char*, ...) {}

// On a machine without a sound card, alsa-lib prints its configuration errors straight to
// stderr while SDL probes it. The failure reaches the caller as a result code instead, so
// alsa's own handler is silenced; the library stays loaded so that SDL, which loads it by
// the same name, gets this very instance.
void quietalsa() {
    static const bool done = [] {
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
        if (!alsa) return false;
        using handler = void (*)(const char*, int, const char*, int, const char*, ...);
        auto sethandler = reinterpret_cast<int (*)(handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
        if (sethandler) sethandler(quietalsaerror);
        return true;
    }();
    (void)done;
}

}  // namespace

FMOD_RESULT mixer::init(int channels) {
    if (initialised()) return FMOD_ERR_INITIALIZED;
    if (channels < 1) return FMOD_ERR_INVALID_PARAM;
    maxchannels = channels;
    // Mixing is done in float; SDL converts to whatever the hardware takes. Rate and layout
    // follow the device, so that SDL does not convert twice.
    output = SDL_AudioSpec{};
    output.freq = 44100;
    output.format = AUDIO_F32SYS;
    output.channels = 2;
    output.samples = 1024;
    output.callback = fill;
    output.userdata = this;
    quietalsa();
    // SDL would otherwise take SIGINT and SIGTERM for quit events that nothing here reads; the
    // program decides what those signals do.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return FMOD_ERR_OUTPUT_INIT;
    SDL_AudioSpec obtained{};
    device = SDL_OpenAudioDevice(nullptr, 0, &output, &obtained,
                                 SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (!device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return FMOD_ERR_OUTPUT_INIT;
    }
    output = obtained;
    scratch.resize(static_cast<size_t>(output.samples) * output.channels);
    return FMOD_OK;
}

FMOD_RESULT mixer::play(const std::shared_ptr<stream>& source, bool paused,
                        std::shared_ptr<voice>* started) {
    devicelock lock(device);
    // A stream has one decoder, so playing it again restarts it.
    voices.erase(std::remove_if(voices.begin(), voices.end(),
                                [&](const std::shared_ptr<voice>& v) { return v->source == source; }),
                 voices.end());
    if (voices.size() >= static_cast<size_t>(maxchannels)) return FMOD_ERR_CHANNEL_ALLOC;
    std::shared_ptr<voice> v = voice::start(source, output, paused);
    if (!v) return FMOD_ERR_FORMAT;
    voices.push_back(v);
    *started = v;
    // The device stays paused until there is something to play.
    if (device) SDL_PauseAudioDevice(device, 0);
    return FMOD_OK;
}

void mixer::stop(const stream* source) {
    devicelock lock(device);
    voices.erase(std::remove_if(voices.begin(), voices.end(),
                                [&](const std::shared_ptr<voice>& v) { return v->source.get() == source; }),
                 voices.end());
}

FMOD_RESULT mixer::pause(voice* v, bool paused) {
    devicelock lock(device);
    if (!playing(v)) return FMOD_ERR_INVALID_HANDLE;
    v->paused = paused;
    return FMOD_OK;
}

FMOD_RESULT mixer::seek(voice* v, sf_count_t frame) {
    devicelock lock(device);
    if (!playing(v)) return FMOD_ERR_INVALID_HANDLE;
    if (frame < 0 || frame > v->source->info.frames) return FMOD_ERR_INVALID_POSITION;
    return v->seek(frame) ? FMOD_OK : FMOD_ERR_FILE_COULDNOTSEEK;
}

bool mixer::playing(const voice* v) const {
    return std::any_of(voices.begin(), voices.end(), [&](const std::shared_ptr<voice>& p) { return p.get() == v; });
}

void mixer::close() {
    if (device) {
        // Waits for the audio thread to leave fill().
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device = 0;
    }
    voices.clear();
    maxchannels = 0;
}

void SDLCALL mixer::fill(void* userdata, Uint8* out, int len) {
    auto* self = static_cast<mixer*>(userdata);
    float* samples = reinterpret_cast<float*>(out);
    const int count = len / static_cast<int>(sizeof(float));
    std::fill(samples, samples + count, 0.0f);
    auto& voices = self->voices;
    for (auto it = voices.begin(); it != voices.end();) {
        if ((*it)->paused || (*it)->mixinto(samples, count, self->scratch))
            ++it;
        else
            it = voices.erase(it);
    }
}

}  // namespace FMOD::detail
