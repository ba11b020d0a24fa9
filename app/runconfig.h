#pragma once
// The run configuration: what the command line sets and the fixed rest.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace talvo {

struct runconfig {
    std::string title = "Quellspire";
    // The values of windowmode.
    static constexpr int windowed = 0;
    static constexpr int fullscreen = 1;         // at width x height
    static constexpr int desktopfullscreen = 2;  // at the desktop's size
    int windowmode = fullscreen;
    int width = 1280;
    int height = 720;
    int samples = 0;  // multisample count of the window's default framebuffer
    bool vsync = true;
    int glmajor = 3;
    int glminor = 3;
    std::string soundfile = "sound.flac";  // looked up in the resource directory at start-up
    uint32_t from = 0;     // production time, in ms, at which the run starts (music too)
    bool loop = false;     // at the end, start again until Escape or the close button
    bool mute = false;     // no audio device at all
    bool make = false;     // maker mode (app/maker.h), in a window
    uint32_t restart = 0;  // production time at which a loop's later passes start (only tests move it)
};

// A command line that cannot be used; what() is the one-line message (status 2).
struct badcommandline : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Options are the words that begin with "--" (with the value that follows one that takes a
// value, or after its '='), each also by any prefix that names only it; they may stand
// anywhere and are taken out first. What remains are
// the positional arguments: width and height from the first two when there are at least two,
// the sample count from the third when there are three. A positional argument that does not
// start with an integer keeps its default; "800px" reads as 800. Throws badcommandline for an
// unknown option or a bad value.
runconfig parsecommandline(int argc, const char* const argv[]);

// True when the command line asks for --help, wherever it stands: the help then answers
// whatever else is given.
bool askshelp(int argc, const char* const argv[]);
// The --help text: usage, keys and options.
extern const char* const helptext;

}  // namespace talvo
