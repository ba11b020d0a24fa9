// The rendered soundtrack, resources/sound.flac, as the build leaves it: format, levels, and
// the shape of the piece along the production's timeline.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int rate = 44100;

struct track {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved stereo

    // Mean power of [from, to) seconds, in dB relative to full scale.
    double rms(double from, double to) const {
        long a = std::lround(from * rate), b = std::lround(to * rate);
        double sum = 0;
        for (long i = 2 * a; i < 2 * b; ++i) sum += double(samples[i]) * samples[i];
        return 10 * std::log10(sum / (2.0 * (b - a)) + 1e-30);
    }
    double peak(double from, double to) const {
        long a = std::lround(from * rate), b = std::lround(to * rate);
        float p = 0;
        for (long i = 2 * a; i < 2 * b; ++i) p = std::max(p, std::abs(samples[i]));
        return p;
    }
};

const track& soundtrack() {
    static const track t = [] {
        track t;
        SNDFILE* f = sf_open("resources/sound.flac", SFM_READ, &t.info);
        if (!f) return t;
        t.samples.resize(static_cast<size_t>(t.info.frames) * t.info.channels);
        sf_readf_float(f, t.samples.data(), t.info.frames);
        sf_close(f);
        return t;
    }();
    return t;
}

class soundtrackfile : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(soundtrack().samples.empty()) << "resources/sound.flac is missing or unreadable";
    }
    const track& s = soundtrack();
};

TEST_F(soundtrackfile, IsTheProductionsLengthInCdQualityFlac) {
    EXPECT_EQ(s.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(s.info.samplerate, rate);
    EXPECT_EQ(s.info.channels, 2);
    EXPECT_EQ(s.info.frames, 194L * rate);
}

TEST_F(soundtrackfile, PeaksStayBelowMinusOneDecibelWithoutOffset) {
    EXPECT_LE(20 * std::log10(s.peak(0, 194)), -1.0);
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        for (size_t i = c; i < s.samples.size(); i += 2) sum += s.samples[i];
        EXPECT_LT(std::abs(sum / (s.samples.size() / 2)), 1e-3) << "channel " << c;
    }
    // It starts and ends in silence: no click at either end.
    EXPECT_LT(s.peak(0, 0.01), 0.01);
    EXPECT_LT(s.rms(193.75, 194), -50);
}

TEST_F(soundtrackfile, FollowsThePicture) {
    const double opening = s.rms(0, 12), lines = s.rms(28, 44), pause = s.rms(44, 48),
                 floating = s.rms(90, 110), harsh = s.rms(110, 136), flight = s.rms(136, 160),
                 outro = s.rms(164, 194);
    EXPECT_GT(opening, -45) << "the opening is silent";
    EXPECT_GT(lines - opening, 10) << "the first full beat does not stand out from the opening";
    EXPECT_GT(s.rms(20, 28), s.rms(12, 20)) << "the pulse does not build";
    EXPECT_GT(s.rms(12, 28), opening + 6);
    EXPECT_GT(lines - pause, 4) << "no break at 44 s";
    EXPECT_GT(s.rms(46.5, 48), s.rms(44, 45.5)) << "no rise back into the beat at 48 s";
    EXPECT_GT(harsh - floating, 3);
    EXPECT_GT(s.rms(130, 136), s.rms(110, 116)) << "the harsh section does not grow";
    EXPECT_GT(flight - outro, 8);
    EXPECT_GT(s.rms(160, 170), s.rms(184, 194)) << "the outro does not calm down";
}

TEST_F(soundtrackfile, HitsAtEightyEightSecondsAndOnTheFlightsCuts) {
    // The hit lands on 88 s exactly, after a short held breath.
    EXPECT_GT(s.rms(88, 88.25) - s.rms(87.75, 88), 6);
    EXPECT_GT(s.peak(88, 88.02), 0.5);
    EXPECT_LT(s.peak(87.9, 87.995), s.peak(88, 88.02) * 0.5);
    // In the flight the strongest attack of every bar is on its bar line, where the camera
    // cuts every 2 s: the level jumps more there than on any other sixteenth.
    auto attack = [&](double t) { return s.rms(t, t + 0.1) - s.rms(t - 0.1, t); };
    for (int bar = 68; bar < 80; ++bar) {
        const double t = bar * 2.0;
        for (int step = 1; step < 16; ++step)
            EXPECT_GT(attack(t), attack(t + step * 0.125) + 1.5) << "bar at " << t << " s, sixteenth " << step;
    }
}

}  // namespace
