#include "app/capture/videomusic.h"

#include <filesystem>

#include "app/capture/runend.h"
#include "diag/warn.h"
#include "gl/resource.h"
#include "platform/audio/soundfile.h"

namespace talvo::capture {

std::string musicrefusal() {
    const std::string musicfile = resourcePath("sound.flac");
    std::error_code ignored;
    if (!std::filesystem::exists(musicfile, ignored)) return "";
    // The stream's own test, read without the player's audio system, which the join does not
    // link.
    const std::string problem = platform::streamproblem(platform::checksoundfile(musicfile.c_str()));
    return problem.empty() ? "" : musicfile + ": " + problem + ": the video needs its music whole";
}

std::string videomusic() {
    const std::string musicfile = resourcePath("sound.flac");
    std::error_code ignored;
    if (std::filesystem::exists(musicfile, ignored)) return musicfile;
    warn(std::string(programname()) + ": warning: " + musicfile + " not found: the video has no music");
    return "";
}

}  // namespace talvo::capture
