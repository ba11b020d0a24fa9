#include "app/capture/videomusic.h"

#include <filesystem>

#include "app/capture/runend.h"
#include "diag/warn.h"
#include "platform/audio/soundfile.h"

namespace talvo::capture {

namespace {
// The music file, under the working directory.
const char* const musicfile = "resources/sound.flac";
}  // namespace

std::string musicrefusal() {
    std::error_code ignored;
    if (!std::filesystem::exists(musicfile, ignored)) return "";
    // The stream's own test, read without the player's audio system, which the join does not
    // link.
    const std::string problem = platform::streamproblem(platform::checksoundfile(musicfile));
    return problem.empty() ? "" : std::string(musicfile) + ": " + problem + ": the video needs its music whole";
}

std::string videomusic() {
    std::error_code ignored;
    if (std::filesystem::exists(musicfile, ignored)) return musicfile;
    warn(std::string(programname) + ": warning: " + musicfile + " not found: the video has no music");
    return "";
}

}  // namespace talvo::capture
