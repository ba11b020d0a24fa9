// Real playback through SDL's disk driver: what the device was given is read back and
// compared with the decoded file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/music.h"
#include "support/audiotest.h"
#include "support/scratchdir.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr double pi = 3.14159265358979323846;

// Opens `file` as start-up does, on a device that writes to `out`, with standard error
// captured; the samples the file decodes to.
std::vector<float> openinto(const std::string& file, const std::string& out) {
    const std::vector<float> expected = audiotest::decode(file);
    audiotest::diskoutput(out);
    talvo::system = FMOD::System();
    talvo::sound = FMOD::Sound();
    talvo::channel = FMOD::Channel();
    CaptureStderr();
    talvo::openmusic(file);
    return expected;
}

// The production's path, as start-up, the update thread and tear-down drive it: the stream
// plays from its first sample, ends, and starts again without a gap.
TEST(playback, MusicStreamsFromTheStartAndLoopsWithoutAGap) {
    talvo::testsupport::scratchdir dir;
    const std::string file = "resources/sound.flac";
    // 0.2 s at the device's own rate and layout, so the device receives the decoded samples
    // unchanged. Every frame differs from its neighbours, so any slip or gap shows.
    const int frames = 8820;
    audiotest::writeflac(file, 44100, 2, frames, [](int i, int c) {
        double t = i / 44100.0;
        return c == 0 ? static_cast<float>(0.5 * std::cos(2 * pi * (200 + 900 * t) * t))
                      : static_cast<float>(0.3 * std::sin(0.37 * i * i) + 0.1);
    });
    const std::string out = (dir.path() / "out.raw").string();
    const std::vector<float> expected = openinto(file, out);
    ASSERT_EQ(expected.size(), 2u * frames);
    talvo::playmusic(0);
    // Two and a half passes, plus the silence written before playSound.
    const bool played = audiotest::waitforoutput(out, (frames * 5 / 2 + 8192) * 2 * sizeof(float));
    talvo::releasemusic();
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_TRUE(played) << "the disk driver stopped writing";

    const std::vector<float> output = audiotest::readoutput(out);
    const size_t start = audiotest::firstsound(output);
    const size_t count = output.size() / 2 - start;
    ASSERT_GE(count, frames * 5u / 2);
    size_t mismatches = 0;
    for (size_t i = 0; i < count * 2; ++i)
        if (output[start * 2 + i] != expected[i % expected.size()]) ++mismatches;
    EXPECT_EQ(mismatches, 0u) << "over " << count << " frames from frame " << start;
}

// Started late, as a run that starts late starts it: the first sample the device is given is
// the one at the position, the stream goes on from there and wraps to its first sample without
// a gap; paused, it falls silent.
TEST(playback, MusicStartsAtAPositionToTheSampleAndPauses) {
    talvo::testsupport::scratchdir dir;
    const std::string file = "resources/sound.flac";
    const int frames = 8820;
    audiotest::writeflac(file, 44100, 2, frames, [](int i, int c) {
        return c == 0 ? static_cast<float>(0.4 * std::sin(0.001 * i * i) + 0.05)
                      : static_cast<float>(0.3 * std::cos(0.37 * i) - 0.05);
    });
    const std::string out = (dir.path() / "out.raw").string();
    const std::vector<float> expected = openinto(file, out);
    ASSERT_EQ(expected.size(), 2u * frames);
    // 125 ms is frame 5512.5 at 44.1 kHz: the frame at or before it.
    talvo::playmusic(125);
    const size_t wanted = (frames * 2 + 8192) * 2 * sizeof(float);
    const bool played = audiotest::waitforoutput(out, wanted);
    talvo::pausemusic();
    const std::uintmax_t paused = std::filesystem::file_size(out);
    const bool afterpause = audiotest::waitforoutput(out, paused + 8192 * 2 * sizeof(float));
    talvo::releasemusic();
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_TRUE(played && afterpause) << "the disk driver stopped writing";

    const std::vector<float> output = audiotest::readoutput(out);
    const size_t start = audiotest::firstsound(output, 0.0f);
    const size_t first = 5512;
    const size_t count = frames * 3 / 2;  // past the end and round again
    ASSERT_GE(output.size() / 2, start + count);
    size_t mismatches = 0;
    for (size_t i = 0; i < count * 2; ++i)
        if (output[start * 2 + i] != expected[(first * 2 + i) % expected.size()]) ++mismatches;
    EXPECT_EQ(mismatches, 0u) << "over " << count << " frames from frame " << start;
    // The device's last buffer after the pause holds only silence.
    const size_t tail = 4096 * 2;
    EXPECT_TRUE(std::all_of(output.end() - tail, output.end(), [](float v) { return v == 0.0f; }));
}

// Another rate and layout, played once: the device gets the same tone at the same pitch and
// length, on both of its channels, and then silence.
TEST(playback, OtherRatesAndLayoutsKeepTheirPitchAndPlayOnce) {
    talvo::testsupport::scratchdir dir;
    const std::string file = "resources/tone.flac";
    const int rate = 22050;
    const int frames = rate / 2;
    const double tone = 441.0;
    audiotest::writeflac(file, rate, 1, frames, [&](int i, int) {
        return static_cast<float>(0.5 * std::cos(2 * pi * tone * i / rate));
    });
    const std::string out = (dir.path() / "out.raw").string();
    audiotest::diskoutput(out);

    FMOD::System system;
    FMOD::Sound sound;
    FMOD::Channel channel;
    ASSERT_EQ(FMOD::System_Create(&system), FMOD_OK);
    ASSERT_EQ(system->init(1, FMOD_INIT_NORMAL, 0), FMOD_OK);
    ASSERT_EQ(system->createStream(file.c_str(), FMOD_2D, 0, &sound), FMOD_OK);
    ASSERT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    const bool played = audiotest::waitforoutput(out, 44100 * 2 * sizeof(float) * 6 / 5);
    EXPECT_EQ(sound->release(), FMOD_OK);
    EXPECT_EQ(system->close(), FMOD_OK);
    EXPECT_EQ(system->release(), FMOD_OK);
    ASSERT_TRUE(played) << "the disk driver stopped writing";

    const std::vector<float> output = audiotest::readoutput(out);
    const size_t start = audiotest::firstsound(output);
    size_t end = start;  // one past the last audible frame
    for (size_t i = start; i < output.size() / 2; ++i) {
        EXPECT_NEAR(output[2 * i], output[2 * i + 1], 1e-6) << "frame " << i;
        if (std::abs(output[2 * i]) > 1e-3f) end = i + 1;
    }
    // Half a second at the device's 44.1 kHz.
    EXPECT_NEAR(static_cast<double>(end - start), 22050.0, 2.0);
    ASSERT_GT(output.size() / 2, end + 11025) << "too little output after the tone";
    float peak = 0;
    for (size_t i = start + 2000; i < end - 2000; ++i) peak = std::max(peak, std::abs(output[2 * i]));
    EXPECT_NEAR(peak, 0.5, 0.01);

    // Pitch from the rising zero crossings of the steady middle part.
    std::vector<double> crossings;
    for (size_t i = start + 2000; i + 1 < end - 2000; ++i) {
        float a = output[2 * i], b = output[2 * i + 2];
        if (a < 0 && b >= 0) crossings.push_back(i + a / (a - b));
    }
    ASSERT_GT(crossings.size(), 100u);
    const double period = (crossings.back() - crossings.front()) / (crossings.size() - 1);
    EXPECT_NEAR(44100.0 / period, tone, tone * 0.002);
}

}  // namespace
