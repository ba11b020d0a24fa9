#include "platform/audio/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace FMOD::detail {

namespace {
// Frames decoded at a time: small enough for the audio thread, large enough to be cheap.
constexpr sf_count_t blockframes = 1024;
}  // namespace

FMOD_RESULT stream::open(const char* name, bool looping) {
    loop = looping;
    // Opened without waiting and its type checked first: a FIFO's open would wait for a writer.
    const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FMOD_ERR_FILE_NOTFOUND : FMOD_ERR_FORMAT;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return FMOD_ERR_FORMAT;
    }
    // sf_open_fd reads the header only, and closes the file with the stream; the samples are
    // decoded as they are played.
    file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file) return FMOD_ERR_FORMAT;
    // A file cut short would play up to its cut and then loop early: its last frame is read
    // now, a seek away, so that it is refused before it plays.
    std::vector<float> last(size_t(std::max(info.channels, 1)));
    if (info.frames > 0 && !(seek(info.frames - 1) && sf_readf_float(file, last.data(), 1) == 1 && seek(0))) {
        close();
        return FMOD_ERR_FILE_EOF;
    }
    return FMOD_OK;
}

void stream::close() {
    if (file) sf_close(file);
    file = nullptr;
}

bool stream::seek(sf_count_t frame) { return sf_seek(file, frame, SEEK_SET) == frame; }

sf_count_t stream::read(float* out, sf_count_t frames) {
    sf_count_t got = sf_readf_float(file, out, frames);
    if (got == 0 && loop && seek(0)) {
        got = sf_readf_float(file, out, frames);
    }
    return got;
}

SDL_AudioStream* makeconverter(const stream& source, const SDL_AudioSpec& device) {
    // SDL counts channels in a byte; anything wider is not ours to play.
    if (source.info.channels > 255) return nullptr;
    return SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(source.info.channels),
                              source.info.samplerate, device.format, device.channels,
                              device.freq);
}

std::shared_ptr<voice> voice::start(std::shared_ptr<stream> source, const SDL_AudioSpec& device,
                                    bool paused) {
    SDL_AudioStream* converter = makeconverter(*source, device);
    if (!converter) return nullptr;
    source->seek(0);
    return std::make_shared<voice>(std::move(source), device, converter, paused);
}

voice::voice(std::shared_ptr<stream> s, const SDL_AudioSpec& d, SDL_AudioStream* c, bool p)
    : source(std::move(s)), device(d), converter(c), paused(p),
      block(static_cast<size_t>(blockframes * source->info.channels)) {}

bool voice::seek(sf_count_t frame) {
    if (!source->seek(frame)) return false;
    SDL_AudioStreamClear(converter);
    ended = false;
    consumed = 0;
    produced = 0;
    return true;
}

bool voice::mixinto(float* out, int count, std::vector<float>& scratch) {
    const int channels = source->info.channels;
    const int framebytes = device.channels * static_cast<int>(sizeof(float));
    int wanted = count * static_cast<int>(sizeof(float));
    while (!ended && SDL_AudioStreamAvailable(converter) < wanted) {
        sf_count_t frames = source->read(block.data(), blockframes);
        int size = static_cast<int>(frames * channels * sizeof(float));
        if (frames > 0 && SDL_AudioStreamPut(converter, block.data(), size) == 0) {
            consumed += frames;
        } else {
            ended = true;
            std::fill(block.begin(), block.end(), 0.0f);
        }
    }
    // The stream's whole length at the device's rate; only known once it has ended.
    sf_count_t length = 0;
    if (ended) {
        // The resampler holds back the last input frames until more follow: push silence
        // after them until the whole length is out, and hand out no more than that.
        const sf_count_t rate = source->info.samplerate;
        length = (consumed * device.freq + rate - 1) / rate;
        wanted = static_cast<int>(std::min<sf_count_t>(wanted, (length - produced) * framebytes));
        const int silence = static_cast<int>(block.size() * sizeof(float));
        while (SDL_AudioStreamAvailable(converter) < wanted)
            if (SDL_AudioStreamPut(converter, block.data(), silence) != 0) return false;
    }
    if (scratch.size() < static_cast<size_t>(count)) scratch.resize(count);
    const int got = std::max(0, SDL_AudioStreamGet(converter, scratch.data(), wanted));
    for (int i = 0; i < got / static_cast<int>(sizeof(float)); ++i) out[i] += scratch[i];
    produced += got / framebytes;
    return !ended || produced < length;
}

}  // namespace FMOD::detail
