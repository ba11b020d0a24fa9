#pragma once
// The run configuration: what the command line sets and the fixed rest.
#include <getopt.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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
// value, or after its '='), each also by any prefix that names only it (one that begins several
// is refused); they may stand anywhere and are taken out first. What remains are
// the positional arguments: width and height from the first two when there are at least two,
// the sample count from the third when there are three. A positional argument that does not
// start with an integer keeps its default; "800px" reads as 800. Throws badcommandline for an
// unknown option or a bad value.
runconfig parsecommandline(int argc, const char* const argv[]);

// Shared with the capture, which is built without this file: header only.

// A value as a message echoes it: up to about 80 characters, the rest shortened to "…".
inline std::string echoed(const std::string& value) {
    constexpr size_t kept = 77;
    if (value.size() <= kept + 3) return value;
    size_t cut = kept;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;  // not inside a UTF-8 character
    return value.substr(0, cut) + "…";
}

// The long options of `table` that "--name" or "--name=value" stands for: the one of that very
// name, else every one whose name begins with it (empty for a word that is no long option).
inline std::vector<std::string> optionsnamed(const std::string& word, const option* table) {
    if (word.size() < 3 || word.rfind("--", 0) != 0) return {};
    const std::string name = word.substr(2, word.find('=') - 2);
    if (name.empty()) return {};
    std::vector<std::string> named;
    for (const option* o = table; o->name; ++o) {
        if (o->name == name) return {o->name};
        if (std::string(o->name).rfind(name, 0) == 0) named.push_back(o->name);
    }
    return named;
}

// Why getopt_long refused the long option `word`: "unknown option '--name'", or "option
// '--name' is ambiguous: --a, --b" naming the options it begins.
inline std::string unknownoption(const std::string& word, const option* table) {
    const std::string name = word.substr(0, word.find('='));
    const std::vector<std::string> named = optionsnamed(word, table);
    if (named.size() < 2) return "unknown option '" + echoed(name) + "'";
    std::string list;
    for (const std::string& n : named) list += (list.empty() ? "--" : ", --") + n;
    return "option '" + echoed(name) + "' is ambiguous: " + list;
}

// True when the command line asks for -h or --help (or a prefix that names only it), wherever
// it stands: the help then answers whatever else is given.
bool askshelp(int argc, const char* const argv[]);
// The --help text: usage, keys and options.
extern const char* const helptext;

}  // namespace talvo
