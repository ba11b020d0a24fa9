#pragma once
// Inside the audio layer: what a system owns. The SDL device pulls its audio from fill() on
// SDL's audio thread; everything fill() touches is changed only under the device lock.
#include <SDL.h>

#include <memory>
#include <vector>

#include "platform/audio/stream.h"

namespace FMOD::detail {

struct mixer {
    int maxchannels = 0;       // 0 until init
    bool released = false;
    SDL_AudioDeviceID device = 0;  // 0 without a usable output device
    SDL_AudioSpec output{};      // the device's format (always 32-bit float samples)
    std::vector<std::shared_ptr<voice>> voices;
    std::vector<float> scratch;  // one device buffer, for the audio thread

    mixer() = default;
    mixer(const mixer&) = delete;
    mixer& operator=(const mixer&) = delete;
    ~mixer() { close(); }

    bool initialised() const { return maxchannels > 0; }
    FMOD_RESULT init(int channels);
    FMOD_RESULT play(const std::shared_ptr<stream>& source, bool paused,
                     std::shared_ptr<voice>* started);
    // Takes the stream off whatever channel plays it.
    void stop(const stream* source);
    // Pause or resume a voice, or move it to a frame of its stream; FMOD_ERR_INVALID_HANDLE
    // when it no longer plays here.
    FMOD_RESULT pause(voice* v, bool paused);
    FMOD_RESULT seek(voice* v, sf_count_t frame);
    void close();

    static void SDLCALL fill(void* self, Uint8* out, int len);

private:
    // True while v is one of the voices (device lock held).
    bool playing(const voice* v) const;
};

}  // namespace FMOD::detail
