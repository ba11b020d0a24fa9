#include "app/runconfig.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "app/rational.h"
#include "production/demostart.h"

namespace talvo {

const char* const helptext = R"(Usage: quellspire [options] [width height [samples]]

Plays the production: 194 s of pictures computed and drawn in real time, with their music,
full screen. Afterwards the console asks for Enter. It reads its files from resources/ under
the working directory if there is one, else from ../share/quellspire beside the program, else
from resources/ beside it (the build tree).

  width height  window size in pixels (default 1280 720); give both or neither: a single
                number is ignored, and one that does not start with digits keeps its default
  samples       multisample count of the window (default 0)

Options, anywhere on the line, each also by a prefix that begins no other (--wi; --m, which
begins --mute and --make, is refused):
  --windowed    a window of that size on the desktop, decorated and resizable, instead of
                full screen
  --from S      start at S seconds of production time (e.g. 100 or 100.5), the music with it.
                The steps before S are not run: the events due by then fire at once, so the
                scene of S is entered with its own events caught up
  --loop        at the end start again from 0, music and all, until Escape or the close button
  --mute        no sound: no audio device is opened
  --make        maker mode, in a window: the keys below, an overlay, and shaders and snippets
                rebuilt when saved
  --help        this text
  --version     the program's name and version

Keys: Escape ends the run; so does the window's close button. With --make also: Space holds
and resumes, Left and Right seek 5 s, Page Up and Page Down go to the previous or next scene,
Home to 0, '.' steps 25 ms while held, F1 shows the overlay, F12 saves the frame as a PNG.

Exit status: 0 after a run; 1 when start-up fails (the window, the GL contexts or the GL
version), a GL, OpenCL or FreeType check fails or a resource file other than the music is
missing or unusable (without usable music it plays silently); 2 bad options.
)";

namespace {

[[noreturn]] void fail(const std::string& message) { throw badcommandline(message); }

// A positional number: its leading integer, or the default kept for a word without one. An
// integer too large for an int is refused rather than read as no number at all.
void readint(const char* argument, int& value, const char* what) {
    std::istringstream in(argument);
    int read = 0;
    if (in >> read) {
        value = read;
        return;
    }
    const std::string word = argument;
    const size_t digit = word[0] == '-' || word[0] == '+' ? 1 : 0;
    if (digit < word.size() && std::isdigit(static_cast<unsigned char>(word[digit])))
        fail(std::string("the ") + what + " '" + echoed(word) + "' is out of range");
}

uint32_t starttime(const std::string& value) {
    const std::optional<rational> seconds = parsedecimal(value);
    if (!seconds) fail("--from: '" + echoed(value) + "' is not a time in seconds (e.g. 100 or 100.5)");
    // The clock counts whole milliseconds; the end itself is no place to start.
    const int64_t ms = milliseconds(*seconds);
    if (ms >= int64_t(demostart::endtime))
        fail("--from: " + echoed(value) + " s is not before the production's end (" +
             std::to_string(demostart::endtime / 1000) + " s)");
    return static_cast<uint32_t>(ms);
}

// The options, each a long name for glibc's getopt_long; --help is answered by askshelp before
// the command line is read.
enum optioncode { windowed = 256, from, loop, mute, make, help };
const option options[] = {{"windowed", no_argument, nullptr, windowed},
                          {"from", required_argument, nullptr, from},
                          {"loop", no_argument, nullptr, loop},
                          {"mute", no_argument, nullptr, mute},
                          {"make", no_argument, nullptr, make},
                          {"help", no_argument, nullptr, help},
                          {}};

}  // namespace

bool askshelp(int argc, const char* const argv[]) {
    return std::any_of(argv + std::min(argc, 1), argv + argc, [](const char* word) {
        return std::string(word) == "-h" || optionsnamed(word, options) == std::vector<std::string>{"help"};
    });
}

runconfig parsecommandline(int argc, const char* const argv[]) {
    runconfig config;
    std::vector<const char*> positional;
    std::set<int> given;
    // getopt_long reorders nothing here ("-": the other words come back in order, as code 1),
    // but takes its words as writable; it keeps its state in globals, which optind 0 resets.
    std::vector<std::string> words(argv, argv + argc);
    std::vector<char*> writable;
    for (std::string& word : words) writable.push_back(word.data());
    opterr = 0;
    optind = 0;
    for (;;) {
        const int at = std::max(optind, 1);
        const int code = getopt_long(argc, writable.data(), "-:", options, nullptr);
        // The word "--" ends getopt's options; here it has always been an unknown one.
        if (code == -1 && at < argc) fail("unknown option '--'");
        if (code == -1) break;
        const std::string word = argv[at];
        const std::string name = word.substr(0, word.find('='));
        if (code == 1 || (code == '?' && optopt < 256 && word.rfind("--", 0) != 0)) {
            // Positional, and so is a word with a single dash ("-5" is read as a number), once
            // getopt has passed all of its letters.
            if (optind > at) positional.push_back(argv[at]);
            continue;
        }
        if (code == '?') fail(optopt ? name + " takes no value" : unknownoption(word, options));
        if (code == ':') fail(name + " needs a value");
        if (!given.insert(code).second) fail(std::string("--") + options[code - windowed].name + " is given twice");
        if (code == windowed) config.windowmode = runconfig::windowed;
        if (code == from) config.from = starttime(optarg);
        if (code == loop) config.loop = true;
        if (code == mute) config.mute = true;
        if (code == make) config.make = true;
    }

    if (config.make) config.windowmode = runconfig::windowed;
    if (positional.size() >= 2) {
        readint(positional[0], config.width, "width");
        readint(positional[1], config.height, "height");
    }
    if (positional.size() >= 3) readint(positional[2], config.samples, "sample count");
    return config;
}

}  // namespace talvo
