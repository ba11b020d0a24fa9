#include "app/capture/options.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "app/capture/frameclock.h"
#include "app/capture/framepattern.h"

namespace talvo::capture {

const char* const helptext = R"(Usage: quellspire-capture -o PATH [options]

Renders the production, or any moment of it, on a virtual clock: every frame at full quality
however long it takes, to PNG files or to a video with the music. Like quellspire, it reads
resources/ under the working directory and needs a display (tools/capture.sh brings a virtual
one on a machine without).

  -o, --output PATH  a .png pattern with one frame number, e.g. shots/frame%05d.png (frames
                     count from 0), or a video, .mp4 or .mkv: H.264 in yuv420p made by ffmpeg,
                     with the music of resources/sound.flac cut to the same range, in AAC
      --size WxH     frame size in pixels (default 1280x720)
      --samples N    multisample count of the window, 0 to 32 (default 0)
      --fps F        frames per second: 60, 29.97 or 60000/1001 (default 60)
      --from S       first frame, in seconds of production time (default 0)
      --to S         end of the range, in seconds, not included (default 194, the end)
      --frames N     how many frames, instead of --to
      --crf N        video quality, 0 (lossless) to 51 (default 18)
      --stats FILE   per-scene figures as JSON: frames, mean and median update-step time and
                     display time in milliseconds
  -h, --help         this text

Frame k shows the production at from + k/fps, rounded to the millisecond; every 25 ms update
step that begins at or before that moment has run before it is drawn. A frame at 56.000 s
therefore already shows the second scene. Two captures of the same range are identical.

Starting late: --from S starts the clock at S. The steps before S are not run; the first frame
fires every event that is due at once, as after a long stall, so each scene is entered with its
own events caught up. The particles, whose state builds up step by step, then start from their
initial cloud instead of where a full run would have brought them.

Exit status: 0 done; 1 the window, a GL check, ffmpeg or writing a file failed; 2 bad options.
)";

namespace {

constexpr int maxside = 16384;
constexpr int maxsamples = 32;
constexpr int maxcrf = 51;

std::optional<int64_t> parsecount(const std::string& text, int64_t limit) {
    std::optional<rational> value = parsedecimal(text);
    if (!value || value->den != 1 || value->num > limit || text.find('.') != std::string::npos)
        return std::nullopt;
    return value->num;
}

std::optional<std::pair<int, int>> parsesize(const std::string& text) {
    size_t x = text.find('x');
    if (x == std::string::npos) return std::nullopt;
    std::optional<int64_t> width = parsecount(text.substr(0, x), maxside);
    std::optional<int64_t> height = parsecount(text.substr(x + 1), maxside);
    if (!width || !height || *width < 1 || *height < 1) return std::nullopt;
    return std::make_pair(static_cast<int>(*width), static_cast<int>(*height));
}

bool endswith(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    std::string tail = text.substr(text.size() - end.size());
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == end;
}

// Why `file` cannot be written, or empty when it can (nothing is created).
std::string unwritable(const std::string& file) {
    namespace fs = std::filesystem;
    fs::path path(file);
    fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    std::error_code error;
    fs::file_status status = fs::status(dir, error);
    if (status.type() == fs::file_type::not_found) return "directory '" + dir.string() + "' does not exist";
    if (error || !fs::is_directory(status)) return "'" + dir.string() + "' is not a directory";
    if (access(dir.c_str(), W_OK | X_OK) != 0) return "'" + dir.string() + "': " + std::strerror(errno);
    status = fs::status(path, error);
    if (fs::exists(status)) {
        if (fs::is_directory(status)) return "'" + file + "' is a directory";
        if (access(path.c_str(), W_OK) != 0) return "'" + file + "': " + std::strerror(errno);
    }
    return "";
}

[[noreturn]] void fail(const std::string& message) { throw badoption(message); }

}  // namespace

captureoptions parseoptions(const std::vector<std::string>& args) {
    captureoptions options;
    if (std::find(args.begin(), args.end(), "-h") != args.end() ||
        std::find(args.begin(), args.end(), "--help") != args.end()) {
        options.help = true;
        return options;
    }

    // Every option takes a value, given as the next argument or, for long options, after '='.
    static const std::map<std::string, std::string> names = {
        {"-o", "-o"},         {"--output", "-o"},   {"--size", "--size"},     {"--samples", "--samples"},
        {"--fps", "--fps"},   {"--from", "--from"}, {"--to", "--to"},         {"--frames", "--frames"},
        {"--crf", "--crf"},   {"--stats", "--stats"},
    };
    std::map<std::string, std::string> given;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool attached = false;
        size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            attached = true;
        }
        auto known = names.find(name);
        if (known == names.end()) {
            if (!name.empty() && name[0] == '-') fail("unknown option '" + args[i] + "'");
            fail("unexpected argument '" + args[i] + "'");
        }
        if (!attached) {
            if (i + 1 >= args.size()) fail(name + " needs a value");
            value = args[++i];
        }
        if (given.count(known->second)) fail(name + " is given twice");
        given[known->second] = value;
    }

    if (given.count("--size")) {
        auto size = parsesize(given["--size"]);
        if (!size)
            fail("--size: '" + given["--size"] + "' is not a size WxH with sides from 1 to " +
                 std::to_string(maxside) + " (e.g. 1280x720)");
        options.width = size->first;
        options.height = size->second;
    }
    if (given.count("--samples")) {
        auto samples = parsecount(given["--samples"], maxsamples);
        if (!samples)
            fail("--samples: '" + given["--samples"] + "' is not a sample count from 0 to " +
                 std::to_string(maxsamples));
        options.samples = static_cast<int>(*samples);
    }
    if (given.count("--fps")) {
        auto fps = parserational(given["--fps"]);
        if (!fps || fps->num == 0 || rational{1000, 1} < *fps)
            fail("--fps: '" + given["--fps"] +
                 "' is not a frame rate above 0 and at most 1000 (60, 29.97 or 60000/1001)");
        options.fps = *fps;
    }
    const rational end{productionseconds, 1};
    if (given.count("--from")) {
        auto from = parsedecimal(given["--from"]);
        if (!from) fail("--from: '" + given["--from"] + "' is not a time in seconds (e.g. 56 or 56.5)");
        if (end <= *from)
            fail("--from: " + given["--from"] + " s is not before the production's end (" +
                 std::to_string(productionseconds) + " s)");
        options.from = *from;
    }
    frameclock clock(options.from, options.fps);
    if (given.count("--to") && given.count("--frames")) fail("give --to or --frames, not both");
    if (given.count("--frames")) {
        auto frames = parsecount(given["--frames"], 1000000000);
        if (!frames || *frames < 1) fail("--frames: '" + given["--frames"] + "' is not a frame count of at least 1");
        if (!clock.fitsproduction(*frames))
            fail("--frames: " + given["--frames"] + " frames from " + (given.count("--from") ? given["--from"] : "0") + " s at " +
                 fractiontext(options.fps) + " fps run past the production's end (" +
                 std::to_string(productionseconds) + " s)");
        options.frames = *frames;
    } else {
        rational to = end;
        if (given.count("--to")) {
            auto parsed = parsedecimal(given["--to"]);
            if (!parsed) fail("--to: '" + given["--to"] + "' is not a time in seconds (e.g. 60 or 60.5)");
            if (end < *parsed)
                fail("--to: " + given["--to"] + " s is past the production's end (" +
                     std::to_string(productionseconds) + " s)");
            if (*parsed <= options.from) fail("--to must be later than --from");
            to = *parsed;
        }
        options.frames = clock.framesbefore(to);
    }

    if (!given.count("-o")) fail("no output: give -o with a .png pattern or an .mp4 or .mkv file");
    options.output = given["-o"];
    std::string firstfile = options.output;
    if (endswith(options.output, ".png")) {
        std::optional<framepattern> pattern = framepattern::parse(options.output);
        if (!pattern) fail("-o: a .png pattern needs one frame number such as %05d (shots/frame%05d.png)");
        firstfile = pattern->path(0);
    } else if (endswith(options.output, ".mp4") || endswith(options.output, ".mkv")) {
        options.kind = outputkind::video;
        if (options.width % 2 || options.height % 2)
            fail("--size: a video needs an even width and height (H.264 in yuv420p)");
    } else {
        fail("-o: '" + options.output + "' is neither a .png pattern nor an .mp4 or .mkv video");
    }
    if (std::string why = unwritable(firstfile); !why.empty()) fail("-o: cannot write there: " + why);

    if (given.count("--crf")) {
        if (options.kind != outputkind::video) fail("--crf applies to video output only");
        auto crf = parsecount(given["--crf"], maxcrf);
        if (!crf) fail("--crf: '" + given["--crf"] + "' is not a quality from 0 to " + std::to_string(maxcrf));
        options.crf = static_cast<int>(*crf);
    }
    if (given.count("--stats")) {
        options.stats = given["--stats"];
        if (options.stats.empty()) fail("--stats needs a file name");
        if (std::string why = unwritable(options.stats); !why.empty())
            fail("--stats: cannot write there: " + why);
    }
    return options;
}

}  // namespace talvo::capture
