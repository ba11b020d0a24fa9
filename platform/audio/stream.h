#pragma once
// Inside the audio layer: a stream is an open sound file decoded block by block as it plays;
// a voice is a stream playing on a device, converted to the device's rate and layout.
#include <SDL.h>
#include <sndfile.h>

#include <memory>
#include <vector>

#include "platform/audio/fmod.h"

namespace FMOD::detail {

struct stream {
    SNDFILE* file = nullptr;  // null once released
    SF_INFO info{};
    bool loop = false;
    std::weak_ptr<mixer> owner;  // the system that opened it

    stream() = default;
    stream(const stream&) = delete;
    stream& operator=(const stream&) = delete;
    ~stream() { close(); }

    // FMOD_OK, FMOD_ERR_FILE_NOTFOUND, FMOD_ERR_FORMAT for anything libsndfile cannot read, or
    // FMOD_ERR_FILE_EOF for a file that ends before the last frame its header promises.
    FMOD_RESULT open(const char* name, bool looping);
    void close();
    // Moves to `frame` (0 to the file's length): the next read starts there. False when the
    // file cannot seek there.
    bool seek(sf_count_t frame);
    // Reads up to frames interleaved frames; when looping, the end of the file continues
    // with its first sample. Returns 0 once the stream has ended (or the file is empty).
    sf_count_t read(float* out, sf_count_t frames);
};

// A converter from a stream's samples to the device's format, or null when SDL cannot
// convert between the two.
SDL_AudioStream* makeconverter(const stream& source, const SDL_AudioSpec& device);

struct voice {
    std::shared_ptr<stream> source;
    SDL_AudioSpec device;
    SDL_AudioStream* converter;
    bool paused;
    bool ended = false;        // the source has given its last frame
    sf_count_t consumed = 0;   // source frames given to the converter
    sf_count_t produced = 0;   // device frames taken from it
    std::vector<float> block;  // decoded frames in the source's layout

    // Null when the stream cannot be converted to the device's format.
    static std::shared_ptr<voice> start(std::shared_ptr<stream> source, const SDL_AudioSpec& device,
                                        bool paused);
    voice(std::shared_ptr<stream> source, const SDL_AudioSpec& device, SDL_AudioStream* converter,
          bool paused);
    voice(const voice&) = delete;
    voice& operator=(const voice&) = delete;
    ~voice() { SDL_FreeAudioStream(converter); }

    // Goes on from `frame` of the stream: what the converter still held of the old place is
    // dropped. False when the file cannot seek there.
    bool seek(sf_count_t frame);

    // Adds count device samples to out, decoding as much as that needs. False once the
    // voice has played its last sample.
    bool mixinto(float* out, int count, std::vector<float>& scratch);
};

}  // namespace FMOD::detail
