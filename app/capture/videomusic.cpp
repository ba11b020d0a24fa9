#include "app/capture/videomusic.h"

#include <filesystem>

#include "app/music.h"

namespace talvo::capture {

std::string musicrefusal(const std::string& musicfile) {
    std::error_code ignored;
    if (!std::filesystem::exists(musicfile, ignored)) return "";
    const std::string problem = musicproblem(musicfile);
    return problem.empty() ? "" : musicfile + ": " + problem + ": the video needs its music whole";
}

}  // namespace talvo::capture
