#include "app/runconfig.h"

#include <algorithm>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "app/rational.h"
#include "production/demostart.h"

namespace talvo {

const char* const helptext = R"(Usage: quellspire [options] [width height [samples]]

Plays the production: 194 s of pictures computed and drawn in real time, with their music,
full screen. Afterwards the console asks for Enter. It reads resources/ under the working
directory.

  width height  window size in pixels (default 1280 720); give both or neither: a single
                number is ignored, and one that does not start with digits keeps its default
  samples       multisample count of the window (default 0)

Options, anywhere on the line:
  --windowed    a window of that size on the desktop, decorated and resizable, instead of
                full screen
  --from S      start at S seconds of production time (e.g. 100 or 100.5), the music with it.
                The steps before S are not run: the events due by then fire at once, so the
                scene of S is entered with its own events caught up
  --loop        at the end start again from 0, music and all, until Escape or the close button
  --mute        no sound: no audio device is opened
  --help        this text

Keys: Escape ends the run; so does the window's close button.

Exit status: 0 after a run; 1 when start-up fails (the window, the GL contexts or the GL
version), a GL, OpenCL or FreeType check fails or a resource file is missing; 2 bad options.
)";

namespace {

[[noreturn]] void fail(const std::string& message) { throw badcommandline(message); }

void readint(const char* argument, int& value) {
    std::istringstream in(argument);
    int read = 0;
    if (in >> read) value = read;
}

uint32_t starttime(const std::string& value) {
    const std::optional<rational> seconds = parsedecimal(value);
    if (!seconds) fail("--from: '" + value + "' is not a time in seconds (e.g. 100 or 100.5)");
    // The clock counts whole milliseconds; the end itself is no place to start.
    const int64_t ms = milliseconds(*seconds);
    if (ms >= int64_t(demostart::endtime))
        fail("--from: " + value + " s is not before the production's end (" +
             std::to_string(demostart::endtime / 1000) + " s)");
    return static_cast<uint32_t>(ms);
}

struct optionrow {
    const char* name;
    bool takesvalue;
    void (*set)(runconfig& config, const std::string& value);
};

const optionrow optiontable[] = {
    {"--windowed", false, [](runconfig& c, const std::string&) { c.windowmode = 0; }},
    {"--from", true, [](runconfig& c, const std::string& v) { c.from = starttime(v); }},
    {"--loop", false, [](runconfig& c, const std::string&) { c.loop = true; }},
    {"--mute", false, [](runconfig& c, const std::string&) { c.mute = true; }},
    // Answered by askshelp before the command line is read.
    {"--help", false, [](runconfig&, const std::string&) {}},
};

const optionrow* findoption(const std::string& name) {
    auto row = std::find_if(std::begin(optiontable), std::end(optiontable),
                            [&](const optionrow& r) { return name == r.name; });
    return row != std::end(optiontable) ? row : nullptr;
}

bool isoption(const std::string& word) { return word.rfind("--", 0) == 0; }

}  // namespace

bool askshelp(int argc, const char* const argv[]) {
    return std::any_of(argv + std::min(argc, 1), argv + argc,
                       [](const char* word) { return std::string(word) == "--help"; });
}

runconfig parsecommandline(int argc, const char* const argv[]) {
    runconfig config;
    std::vector<const char*> positional;
    std::set<std::string> given;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!isoption(word)) {
            positional.push_back(argv[i]);
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const optionrow* row = findoption(name);
        if (!row) fail("unknown option '" + name + "'");
        if (!given.insert(name).second) fail(name + " is given twice");
        std::string value;
        if (equals != std::string::npos) {
            if (!row->takesvalue) fail(name + " takes no value");
            value = word.substr(equals + 1);
        } else if (row->takesvalue) {
            if (i + 1 >= argc) fail(name + " needs a value");
            value = argv[++i];
        }
        row->set(config, value);
    }

    if (positional.size() >= 2) {
        readint(positional[0], config.width);
        readint(positional[1], config.height);
    }
    if (positional.size() >= 3) readint(positional[2], config.samples);
    return config;
}

}  // namespace talvo
