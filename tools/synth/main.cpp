// Renders the production's soundtrack: synth <output.flac>
// 194 s of stereo at 44.1 kHz, 16-bit FLAC, peaks at most -1.2 dBFS. Deterministic: the same
// build writes the same bytes every time.
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mix.h"
#include "score.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.flac>\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];

    synth::mix m(synth::piecelength);
    synth::compose(m);
    const std::vector<float> samples = m.master(synth::db(-3.0), synth::db(-1.2), 4.0);

    std::vector<short> pcm(samples.size());
    double peak = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        pcm[i] = static_cast<short>(std::lround(samples[i] * 32767.0));
        peak = std::max(peak, std::abs(static_cast<double>(samples[i])));
    }

    // Written beside the target under a name of its own and renamed, so that a reader never
    // sees half a file and two builds rendering at once do not write into one file.
    const std::string partial = path + "." + std::to_string(getpid()) + ".partial";
    SF_INFO info{};
    info.samplerate = synth::rate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(partial.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", partial.c_str(), sf_strerror(nullptr));
        return 1;
    }
    const sf_count_t frames = static_cast<sf_count_t>(pcm.size() / 2);
    const bool written = sf_writef_short(file, pcm.data(), frames) == frames;
    std::error_code ec;
    if (sf_close(file) != 0 || !written) {
        std::fprintf(stderr, "%s: could not write the samples\n", partial.c_str());
        std::filesystem::remove(partial, ec);
        return 1;
    }
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), ec.message().c_str());
        std::filesystem::remove(partial, ec);
        return 1;
    }
    std::printf("%s: %.1f s, peak %.2f dBFS\n", path.c_str(), frames / double(synth::rate),
                20 * std::log10(peak));
    return 0;
}
