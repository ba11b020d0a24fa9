#pragma once
// The capture tool's command line.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/capture/capturepart.h"
#include "app/rational.h"

namespace talvo::capture {

// A command line that cannot be used; what() is the message for the user (status 2).
struct badoption : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class outputkind { png, video };

struct captureoptions {
    bool help = false;
    bool version = false;
    bool dryrun = false;   // --dry-run: only the checks of the command line and of its outputs
    bool verbose = false;  // --verbose: the engine's lines of the files it loads are kept
    int width = 1280;
    int height = 720;
    int samples = 0;
    rational fps{60, 1};
    rational from{0, 1};  // seconds of production time
    int64_t frames = 0;   // how many frames, from --to or --frames
    std::string output;
    outputkind kind = outputkind::png;
    int crf = 18;
    std::string stats;  // empty: no statistics file
    // --steps serial: each frame's update steps run on the render thread between the frames,
    // instead of on their own thread while the frame before is displayed and written.
    bool serial = false;
    // --part K/N: only these frames of the range are drawn, after the frames before them are
    // run without drawing; a video is then a segment without music, for --join.
    std::optional<capturepart> part;
    // quellspire-join, or --join OUT SEGMENTS...: no capture; the segments are joined into
    // `output`.
    bool join = false;
    std::vector<std::string> segments;
};

// Reads and checks the arguments (without the program name). Throws badoption. Checks that
// the output and statistics paths can be written, without creating anything.
captureoptions parseoptions(const std::vector<std::string>& args);

// The join's arguments OUT SEGMENTS... (quellspire-join's command line, or what follows the
// capture's --join). `how` names the join in the messages: "--join", or empty for
// quellspire-join. Throws badoption.
captureoptions parsejoin(const std::vector<std::string>& args, const std::string& how);

// The --help text.
extern const char* const helptext;

}  // namespace talvo::capture
