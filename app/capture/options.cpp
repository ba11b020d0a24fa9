#include "app/capture/options.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "app/capture/frameclock.h"
#include "app/capture/framepattern.h"
#include "app/capture/limits.h"
#include "app/capture/outputfile.h"
#include "app/runconfig.h"

namespace talvo::capture {

const char* const helptext = R"(Usage: quellspire-capture -o PATH [options]
  or:  quellspire-capture --join OUT SEGMENTS...

Renders the production, or any moment of it, on a virtual clock: every frame at full quality
however long it takes, to PNG files or to a video with the music. It finds its files where
quellspire does (resources/ under the working directory, else ../share/quellspire beside the
program, else resources/ beside it) and needs a display (tools/capture.sh brings a virtual one
on a machine without).

  -o, --output PATH  a .png pattern with one frame number in the file name, e.g.
                     shots/frame%05d.png (frames count from 0), or a video, .mp4 or .mkv:
                     H.264 in yuv420p made by ffmpeg, with the music, sound.flac, cut to the
                     same range, in AAC (without the file, silent and with a warning)
      --size WxH     frame size in pixels (default 1280x720)
      --samples N    multisample count of the window, 0 to 32 (default 0)
      --fps F        frames per second: 60, 29.97, 60000/1001 or 1/8 (one frame every 8 s)
                     (default 60)
      --from S       first frame, in seconds of production time (default 0)
      --to S         end of the range, in seconds, not included (default 194, the end)
      --frames N     how many frames, instead of --to
      --crf N        video quality, 0 (lossless) to 51 (default 18)
      --stats FILE   per-scene figures as JSON: frames, steps, mean and median update-step
                     time and display time in milliseconds (a part's steps include its
                     fast-forward; overlapped, a step is timed on its own thread while the
                     frame before is displayed, so the two share the cores); never the
                     output or one of its frames
      --part K/N     only the K-th of N consecutive, nearly equal pieces of the range (K from
                     1), exactly as a capture of the whole range has them
      --join OUT SEGMENTS...
                     no capture: what quellspire-join OUT SEGMENTS... does, joining the video
                     segments of a capture's parts into one video with the music
      --steps MODE   where a frame's update steps run: overlapped (default), on a thread of
                     their own while the frame before is drawn and written, as in the real
                     loop; serial, on the render thread between the frames: the same frames,
                     to check the overlapped capture against and to time the steps alone
      --dry-run      only check the options and the outputs, as a capture would, and end
                     (status 0 or 2); tools/capture-parallel.sh checks its parts' options so
      --verbose      also list each file the production loads, on standard output, as
                     quellspire does (without it the capture drops those lines: its progress
                     line, on standard error, says how far it is)
  -h, --help         this text
      --version      the program's name and version

An option may be shortened to a prefix that begins no other: --fra 10 is --frames 10; --fr,
which begins --from and --frames, is refused.

Frame k shows the production at from + k/fps, rounded to the millisecond, after every 25 ms
update step that begins at or before that moment; two captures of the same range are
identical. --from S does not run the steps before S: the events due by then fire at once, and
the particles start from their initial cloud. A part fast-forwards, without drawing, to its
first frame, which is then byte for byte that frame of the whole capture;
tools/capture-parallel.sh runs the parts at once and joins them. A video takes its name only
once complete; a PNG sequence keeps the frames written before a failure. Each file is written
beside it under a temporary name (.unfinished-PID-N-TOKEN-NAME, TOKEN random, cut at its
start where so long a name would not fit), made new and marked as the capture's own; a
capture starts by removing, and naming, those marked files in its output's directory whose
process has ended without removing them (kill -9). docs/capture.md in the source
tree says more, with the time a part's fast-forward takes.

Exit status: 0 done; 1 the window, a GL check, a resource file, ffmpeg or writing a file
failed; 2 bad options (among them an -o or --stats that cannot be written or is not a
regular file, in any frame of the range, a name too long for its directory or holding a
control character, a name of the temporary files' form, a frame number in a pattern's
directory, or --stats on the output: all are checked before anything is rendered), a
file-size limit (ulimit -f) below the 2 MiB the OpenCL compiler needs, or segments that are not every part of one capture. SIGINT, SIGTERM,
SIGHUP or SIGQUIT end it with "interrupted" and by that signal (status 130, 143, 129 or 131).
)";

namespace {

constexpr int maxsamples = 32;
constexpr rational productionend{productionseconds, 1};
const std::string endtext = "(" + std::to_string(productionseconds) + " s)";

[[noreturn]] void fail(const std::string& message) { throw badoption(message); }

// The parsers of option values; each is empty for any text it does not take.

// A frame rate above 0 and at most 1000, exact: "60", "29.97" or "60000/1001".
std::optional<rational> parsefps(const std::string& text) {
    std::optional<rational> fps = parserational(text);
    if (!fps || fps->num == 0 || maxfps < *fps) return std::nullopt;
    return fps;
}

// K/N with 1 <= K <= N, both whole numbers.
std::optional<std::pair<int64_t, int64_t>> parsepart(const std::string& text) {
    auto part = parsepair(text, '/', 1, maxparts);
    if (!part || part->second < part->first) return std::nullopt;
    return part;
}

// The value `parsed` from the text `value` of option `name`, or the refusal that names what
// the option takes.
template <typename T>
T accept(const std::optional<T>& parsed, const char* name, const std::string& value, const std::string& what) {
    if (!parsed) fail(std::string(name) + ": '" + echoed(value) + "' is not " + what);
    return *parsed;
}

bool endswith(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    std::string tail = text.substr(text.size() - end.size());
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == end;
}

namespace fs = std::filesystem;

fs::path directoryof(const std::string& file) {
    fs::path dir = fs::path(file).parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// Why no file can have the name `file`, or empty when one can. The temporary name it is
// written under first is made to fit wherever the name fits (outputfile.h).
std::string toolong(const std::string& file) {
    if (file.size() >= PATH_MAX)
        return "the path '" + echoed(file) + "' is longer than " + std::to_string(PATH_MAX - 1) + " bytes";
    const size_t longest = longestname(directoryof(file).string());
    const std::string name = fs::path(file).filename().string();
    if (name.size() > longest)
        return "the name '" + echoed(name) + "' is longer than " + std::to_string(longest) + " bytes";
    return "";
}

// Why `file` cannot be written, or empty when it can (nothing is created). Only a regular file
// is ever replaced: a symbolic link, FIFO or device keeps its name.
std::string unwritable(const std::string& file) {
    // A name a line of text cannot hold, which the join's list and the messages could not carry.
    if (auto control = std::find_if(file.begin(), file.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
        control != file.end()) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%02x", static_cast<unsigned char>(*control));
        return "the name holds a control character (" + std::string(code) + ")";
    }
    fs::path path(file);
    if (path.filename().string().rfind(unfinishedlead, 0) == 0)
        return "'" + echoed(path.filename().string()) + "' is named as the capture's unfinished files are (" + unfinishedlead + "...)";
    struct stat there {};
    const bool exists = lstat(file.c_str(), &there) == 0;
    if (exists && S_ISDIR(there.st_mode)) return "'" + echoed(file) + "' is a directory";
    if (exists && !S_ISREG(there.st_mode))
        return "'" + echoed(file) + "' is not a regular file but " +
               (S_ISLNK(there.st_mode) ? "a symbolic link" : S_ISFIFO(there.st_mode) ? "a FIFO" : "a device or socket");
    const fs::path dir = directoryof(file);
    std::error_code error;
    fs::file_status status = fs::status(dir, error);
    if (status.type() == fs::file_type::not_found) return "directory '" + echoed(dir.string()) + "' does not exist";
    if (error || !fs::is_directory(status)) return "'" + echoed(dir.string()) + "' is not a directory";
    if (access(dir.c_str(), W_OK | X_OK) != 0) return "'" + echoed(dir.string()) + "': " + std::strerror(errno);
    if (exists && access(path.c_str(), W_OK) != 0) return "'" + echoed(file) + "': " + std::strerror(errno);
    return toolong(file);
}

// The same file, named two ways (that need not exist yet).
bool samefile(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(a), error) == fs::weakly_canonical(fs::absolute(b), error);
}

bool isvideo(const std::string& file) { return endswith(file, ".mp4") || endswith(file, ".mkv"); }

// -o is --output. Each option has a code of its own: getopt_long takes options of the same
// code, argument and flag for one, and would read a prefix they share as the first of them.
// --help and --version are answered before the rest is read, --join only as the first word.
const option longoptions[] = {
    {"size", required_argument, nullptr, 256},
    {"samples", required_argument, nullptr, 257},
    {"fps", required_argument, nullptr, 258},
    {"from", required_argument, nullptr, 259},
    {"to", required_argument, nullptr, 260},
    {"frames", required_argument, nullptr, 261},
    {"part", required_argument, nullptr, 262},
    {"output", required_argument, nullptr, 'o'},
    {"crf", required_argument, nullptr, 263},
    {"stats", required_argument, nullptr, 264},
    {"steps", required_argument, nullptr, 265},
    {"dry-run", no_argument, nullptr, 266},
    {"verbose", no_argument, nullptr, 267},
    {"join", no_argument, nullptr, 268},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 269},
    {},
};

// The long option a word names in full or by a prefix, or "" for none or several.
std::string optionof(const std::string& word) {
    std::vector<std::string> named = optionsnamed(word, longoptions);
    return named.size() == 1 ? named.front() : "";
}

// The values on the command line, by the long name of their option.
std::map<std::string, std::string> readwords(const std::vector<std::string>& args) {
    // glibc's getopt_long reads the words ("--name value", "--name=value", "-o value"), here and
    // in the player. It answers each fault with a code and leaves the wording to us, so every
    // message stays the one the README gives; CLI11 would answer in texts of its own. Its state
    // is global: optind 0 starts it afresh.
    std::vector<std::string> words = args;
    words.insert(words.begin(), "quellspire-capture");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    const int argc = int(args.size()) + 1;
    opterr = 0;
    optind = 0;
    std::map<std::string, std::string> given;
    for (;;) {
        // "-": the other arguments come back in order, as code 1; ":": a missing value as ':'.
        const int at = std::max(optind, 1);
        int index = 0;
        const int code = getopt_long(argc, argv.data(), "-:o:", longoptions, &index);
        if (code == -1 && at < argc) fail("unknown option '--'");  // stopped early at "--"
        if (code == -1) return given;
        if (code == 1) fail("unexpected argument '" + echoed(optarg) + "'");
        const std::string word = argv[at];
        // The option's name as given: "-o", or the long name, up to any '='.
        const std::string name = word.rfind("--", 0) == 0 ? word.substr(0, word.find('=')) : word.substr(0, 2);
        const bool islong = word.rfind("--", 0) == 0;
        if (code == '?' && islong && optopt) fail(name + " takes no value");
        if (code == '?') fail(islong ? unknownoption(word, longoptions) : "unknown option '" + echoed(word) + "'");
        if (code == ':') fail(name + " needs a value");
        const std::string option = code == 'o' ? "output" : longoptions[index].name;
        if (option == "join") fail("--join comes first and takes no options: --join OUT SEGMENTS...");
        if (!given.emplace(option, optarg ? optarg : "").second) fail(name + " is given twice");
    }
}

}  // namespace

captureoptions parsejoin(const std::vector<std::string>& args, const std::string& how) {
    const std::string lead = how.empty() ? "" : how + ": ";
    if (args.size() < 2)
        fail((how.empty() ? "the join" : how) + " needs the output and at least one segment: " +
             (how.empty() ? "quellspire-join" : how) + " OUT SEGMENTS...");
    captureoptions options;
    options.join = true;
    options.kind = outputkind::video;
    options.output = args[0];
    if (!isvideo(options.output)) fail(lead + "'" + echoed(options.output) + "' is not an .mp4 or .mkv video");
    if (std::string why = unwritable(options.output); !why.empty()) fail(lead + "cannot write there: " + why);
    if (args.size() - 1 > size_t(maxparts))
        fail(lead + std::to_string(args.size() - 1) + " segments: a capture has at most " + std::to_string(maxparts) + " parts");
    // Checked before anything is probed: a file given twice, by its name or another.
    std::map<std::pair<dev_t, ino_t>, std::string> files;
    for (auto segment = args.begin() + 1; segment != args.end(); ++segment) {
        std::error_code error;
        struct stat file {};
        if (!fs::is_regular_file(*segment, error) || access(segment->c_str(), R_OK) != 0 || stat(segment->c_str(), &file) != 0)
            fail(lead + "cannot read the segment '" + echoed(*segment) + "'");
        if (auto [other, fresh] = files.emplace(std::pair{file.st_dev, file.st_ino}, *segment); !fresh)
            fail(lead + "'" + echoed(*segment) + (other->second == *segment ? "' is given twice" : "' is '" + echoed(other->second) + "' again"));
        // Joining into a segment would overwrite it while it is read.
        if (fs::equivalent(options.output, *segment, error))
            fail(lead + "the output '" + echoed(options.output) + "' is also one of the segments");
        options.segments.push_back(*segment);
    }
    return options;
}

namespace {

// The values given, by the long name of their option.
using givenvalues = std::map<std::string, std::string>;

const std::string* valueof(const givenvalues& given, const char* name) {
    auto found = given.find(name);
    return found != given.end() ? &found->second : nullptr;
}

// The picture: --size, --samples, --fps.
void readpicture(captureoptions& options, const givenvalues& given) {
    if (const std::string* v = valueof(given, "size")) {
        auto [width, height] = accept(parsepair(*v, 'x', 1, maxside), "--size", *v,
                                      "a size WxH with sides from 1 to " + std::to_string(maxside) + " (e.g. 1280x720)");
        options.width = int(width);
        options.height = int(height);
    }
    if (const std::string* v = valueof(given, "samples"))
        options.samples = int(accept(parsecount(*v, 0, maxsamples), "--samples", *v,
                                     "a sample count from 0 to " + std::to_string(maxsamples)));
    if (const std::string* v = valueof(given, "fps"))
        options.fps = accept(parsefps(*v), "--fps", *v, "a frame rate above 0 and at most 1000 (60, 29.97 or 60000/1001)");
}

// The frames: --from, --to or --frames, --part; needs the frame rate.
void readrange(captureoptions& options, const givenvalues& given) {
    const std::string* from = valueof(given, "from");
    if (from) {
        options.from = accept(parsedecimal(*from), "--from", *from, "a time in seconds (e.g. 56 or 56.5)");
        // The clock counts whole milliseconds; the end itself is no place to start.
        if (milliseconds(options.from) >= int64_t(demostart::endtime))
            fail("--from: " + echoed(*from) + " s is not before the production's end " + endtext);
    }
    const frameclock clock(options.from, options.fps);
    const std::string* frames = valueof(given, "frames");
    if (const std::string* v = valueof(given, "to")) {
        if (frames) fail("give --to or --frames, not both");
        rational to = accept(parsedecimal(*v), "--to", *v, "a time in seconds (e.g. 60 or 60.5)");
        if (productionend < to) fail("--to: " + echoed(*v) + " s is past the production's end " + endtext);
        if (to <= options.from) fail("--to must be later than --from");
        options.frames = clock.framesbefore(to);
    } else if (frames) {
        const bool digits = !frames->empty() && frames->find_first_not_of("0123456789") == std::string::npos;
        if (digits && frames->find_first_not_of('0') != std::string::npos && !parsecount(*frames, 1, maxframes))
            fail("--frames: '" + echoed(*frames) + "' is too large: from " + (from ? echoed(*from) : "0") + " s at " +
                 fractiontext(options.fps) + " fps the production has " +
                 std::to_string(clock.framesbefore(productionend)) + " frames");
        options.frames = accept(parsecount(*frames, 1, maxframes), "--frames", *frames, "a frame count of at least 1");
        if (!clock.fitsproduction(options.frames))
            fail("--frames: " + *frames + " frames from " + (from ? echoed(*from) : "0") + " s at " +
                 fractiontext(options.fps) + " fps run past the production's end " + endtext);
    } else {
        options.frames = clock.framesbefore(productionend);  // neither --to nor --frames: up to the end
    }
    if (const std::string* v = valueof(given, "part")) {
        auto [index, count] = accept(parsepart(*v), "--part", *v, "a part K/N with K from 1 to N (e.g. 2/4)");
        if (options.frames < count)
            fail("--part: the range has only " + std::to_string(options.frames) + " frame" +
                 (options.frames == 1 ? "" : "s") + ", too few for " + std::to_string(count) + " parts");
        options.part = capturepart::of(options.frames, int(index), int(count));
    }
}

// Where the frames go: -o, --crf, --stats, --steps; needs the size and the part.
void readoutput(captureoptions& options, const givenvalues& given) {
    const std::string* output = valueof(given, "output");
    if (!output) fail("no output: give -o with a .png pattern or an .mp4 or .mkv file");
    options.output = *output;
    std::string firstfile = *output;
    std::optional<framepattern> pattern;
    const int64_t first = options.part ? options.part->first : 0;
    const int64_t last = options.part ? options.part->end - 1 : options.frames - 1;
    if (endswith(*output, ".png")) {
        pattern = framepattern::parse(*output);
        if (!pattern) fail("-o: a .png pattern needs one frame number such as %05d (shots/frame%05d.png)");
        // Only the first frame's directory is checked.
        if (fs::path(pattern->path(0)).parent_path() != fs::path(pattern->path(1)).parent_path())
            fail("-o: the frame number of a PNG pattern belongs in the file name, not in its directory");
        firstfile = pattern->path(first);
    } else if (isvideo(*output)) {
        options.kind = outputkind::video;
        if (options.width % 2 || options.height % 2)
            fail("--size: a video needs an even width and height (H.264 in yuv420p)");
    } else {
        fail("-o: '" + echoed(*output) + "' is neither a .png pattern nor an .mp4 or .mkv video");
    }
    if (std::string why = unwritable(firstfile); !why.empty()) fail("-o: cannot write there: " + why);
    // Every frame of the range, as the first: a later one must not be found read-only, too
    // long or something else than a file only once it is reached.
    for (int64_t k = first + 1; pattern && k <= last; ++k)
        if (std::string why = unwritable(pattern->path(k)); !why.empty()) fail("-o: cannot write there: " + why);

    if (const std::string* v = valueof(given, "crf")) {
        if (options.kind != outputkind::video) fail("--crf applies to video output only");
        options.crf = int(accept(parsecount(*v, 0, maxcrf), "--crf", *v, "a quality from 0 to " + std::to_string(maxcrf)));
    }
    if (const std::string* v = valueof(given, "stats")) {
        if (v->empty()) fail("--stats needs a file name");
        if (std::string why = unwritable(*v); !why.empty()) fail("--stats: cannot write there: " + why);
        // The statistics would replace the video, or a frame, once it is written.
        const std::string refusal = "--stats: '" + echoed(*v) + "' is also the output";
        if (!pattern && samefile(*v, *output)) fail(refusal);
        if (pattern && samefile(directoryof(*v).string(), directoryof(firstfile).string())) {
            // The number is in the file name: the name alone tells a frame.
            const std::string names = output->substr(output->rfind('/') + 1);
            std::optional<int64_t> frame = framepattern::parse(names)->frameof(fs::path(*v).filename().string());
            if (frame && first <= *frame && *frame <= last) fail(refusal + " (frame " + std::to_string(*frame) + ")");
        }
        options.stats = *v;
    }
    if (const std::string* v = valueof(given, "steps")) {
        if (*v != "overlapped" && *v != "serial") fail("--steps: '" + echoed(*v) + "' is neither overlapped nor serial");
        options.serial = *v == "serial";
    }
}

}  // namespace

captureoptions parseoptions(const std::vector<std::string>& args) {
    captureoptions options;
    // --help and --version are requests that answer at once, wherever they stand and whatever
    // else is given.
    for (const std::string& word : args) {
        options.help = options.help || word == "-h" || optionof(word) == "help";
        options.version = options.version || optionof(word) == "version";
    }
    if (options.help || options.version) return options;
    if (!args.empty() && args.front().find('=') == std::string::npos && optionof(args.front()) == "join")
        return parsejoin({args.begin() + 1, args.end()}, "--join");

    // In this order: each reads the values the one before it set, and of two faults the earlier
    // one is reported.
    const givenvalues given = readwords(args);
    readpicture(options, given);
    readrange(options, given);
    readoutput(options, given);
    options.dryrun = given.count("dry-run") > 0;
    options.verbose = given.count("verbose") > 0;
    return options;
}

}  // namespace talvo::capture
