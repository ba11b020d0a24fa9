#pragma once
// Helpers for tests that listen: sound files made on the spot, and SDL's output sent where a
// test can read it back (the disk driver writes every sample it plays to a file), whether the
// audio layer plays in the test process or in a program the test started.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace audiotest {

// A 16-bit FLAC file; sample(frame, channel) gives each sample in [-1, 1].
inline void writeflac(const std::string& path, int rate, int channels, int frames,
                      const std::function<float(int, int)>& sample) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) data[static_cast<size_t>(i) * channels + c] = sample(i, c);
    EXPECT_EQ(sf_writef_float(f, data.data(), frames), frames);
    sf_close(f);
}

// The samples of a sound file as libsndfile decodes it, interleaved: all of them, or `count`
// frames from frame `first` (fewer at the end of the file).
inline std::vector<float> decode(const std::string& path, sf_count_t first = 0, sf_count_t count = -1) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    if (count < 0 || first + count > info.frames) count = std::max<sf_count_t>(0, info.frames - first);
    std::vector<float> data(static_cast<size_t>(count) * info.channels);
    if (sf_seek(f, first, SEEK_SET) == first) data.resize(sf_readf_float(f, data.data(), count) * info.channels);
    sf_close(f);
    return data;
}

// The next audio system plays through SDL's disk driver into path (raw samples in the
// device's format). The driver announces itself on SDL's log; tests keep the console clean.
inline void diskoutput(const std::string& path) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    SDL_LogSetOutputFunction([](void*, int, SDL_LogPriority, const char*) {}, nullptr);
}

// The next audio system finds no output device.
inline void nooutput() { setenv("SDL_AUDIODRIVER", "no-such-driver", 1); }

// Waits until the disk driver has written at least bytes bytes to path. The disk driver
// plays in real time, so this takes as long as the sound it waits for.
inline bool waitforoutput(const std::string& path, std::uintmax_t bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (std::filesystem::file_size(path, ec) < bytes || ec) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// What the disk driver wrote, as 32-bit float samples (the format the layer mixes in).
inline std::vector<float> readoutput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy(bytes.data(), bytes.data() + samples.size() * sizeof(float),
              reinterpret_cast<char*>(samples.data()));
    return samples;
}

// Where `expected` (interleaved stereo) stands in `output`, sample for sample, at a frame
// boundary at or after frame `from`; -1 when it is nowhere.
inline long findframes(const std::vector<float>& output, const std::vector<float>& expected, size_t from = 0) {
    if (expected.empty()) return -1;
    for (size_t i = 2 * from; i + expected.size() <= output.size(); i += 2)
        if (std::equal(expected.begin(), expected.end(), output.begin() + i)) return static_cast<long>(i / 2);
    return -1;
}

// Index of the first stereo frame with an audible sample: playback begins there (the device
// writes silence from init until playSound).
inline size_t firstsound(const std::vector<float>& stereo, float threshold = 1e-4f) {
    for (size_t i = 0; i + 1 < stereo.size(); i += 2)
        if (std::abs(stereo[i]) > threshold || std::abs(stereo[i + 1]) > threshold) return i / 2;
    return stereo.size() / 2;
}

}  // namespace audiotest
