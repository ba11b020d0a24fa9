#include "platform/audio/stream.h"

#include <filesystem>
#include <system_error>

namespace FMOD::detail {

namespace {
// Frames decoded at a time: small enough for the audio thread, large enough to be cheap.
constexpr sf_count_t blockframes = 1024;
}  // namespace

FMOD_RESULT stream::open(const char* name, bool looping) {
    // sf_open reads the header only; the samples are decoded as they are played.
    file = sf_open(name, SFM_READ, &info);
    loop = looping;
    if (file) return FMOD_OK;
    std::error_code ec;
    bool exists = std::filesystem::exists(name, ec);
    return !exists && !ec ? FMOD_ERR_FILE_NOTFOUND : FMOD_ERR_FORMAT;
}

void stream::close() {
    if (file) sf_close(file);
    file = nullptr;
}

void stream::rewind() { sf_seek(file, 0, SEEK_SET); }

sf_count_t stream::read(float* out, sf_count_t frames) {
    sf_count_t got = sf_readf_float(file, out, frames);
    if (got == 0 && loop) {
        rewind();
        got = sf_readf_float(file, out, frames);
    }
    return got;
}

SDL_AudioStream* makeconverter(const stream& source, const SDL_AudioSpec& device) {
    return SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(source.info.channels),
                              source.info.samplerate, device.format, device.channels,
                              device.freq);
}

std::shared_ptr<voice> voice::start(std::shared_ptr<stream> source, const SDL_AudioSpec& device,
                                    bool paused) {
    SDL_AudioStream* converter = makeconverter(*source, device);
    if (!converter) return nullptr;
    source->rewind();
    return std::make_shared<voice>(std::move(source), converter, paused);
}

voice::voice(std::shared_ptr<stream> s, SDL_AudioStream* c, bool p)
    : source(std::move(s)), converter(c), paused(p),
      block(static_cast<size_t>(blockframes * source->info.channels)) {}

bool voice::mixinto(float* out, int count, std::vector<float>& scratch) {
    const int bytes = count * static_cast<int>(sizeof(float));
    while (!drained && SDL_AudioStreamAvailable(converter) < bytes) {
        sf_count_t frames = source->read(block.data(), blockframes);
        int size = static_cast<int>(frames * source->info.channels * sizeof(float));
        if (frames == 0 || SDL_AudioStreamPut(converter, block.data(), size) != 0) {
            // Push out what the resampler still holds back.
            SDL_AudioStreamFlush(converter);
            drained = true;
        }
    }
    if (scratch.size() < static_cast<size_t>(count)) scratch.resize(count);
    int got = SDL_AudioStreamGet(converter, scratch.data(), bytes);
    for (int i = 0; i < got / static_cast<int>(sizeof(float)); ++i) out[i] += scratch[i];
    return !(drained && SDL_AudioStreamAvailable(converter) == 0);
}

}  // namespace FMOD::detail
