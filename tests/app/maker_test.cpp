// Maker mode as a maker uses it: the player started with --make on a display of its own, keys
// tapped into its window, its pictures compared with the capture tool's.
#include <gtest/gtest.h>
#include <sys/stat.h>
// After GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include "support/xwindows.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/runconfig.h"
#include "support/audiotest.h"
#include "support/builddir.h"
#include "support/files.h"
#include "support/pictures.h"
#include "support/process.h"
#include "support/xdisplay.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

namespace {

const char* const started = "Talvo initialized! Rock on!";

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The player in maker mode, from a working directory of its own (where F12 saves), on its own
// display; what it plays goes to `audio` when that is given. The resource files named in
// `copies` are copies of their own there, for a test to edit; the others link to the build's.
class makerrun {
public:
    makerrun(const std::vector<std::string>& args, const std::string& audio = "",
             const std::vector<std::string>& copies = {})
        : workdir(withcopies(dir.path(), copies)), p(QUELLSPIRE, withmake(args), workdir, environment(audio)) {}

    // Waits until `n` passes have started and the window shows a picture.
    bool shows(size_t n, std::chrono::seconds deadline = 180s) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < until && p.running()) {
            if (count(p.stdout_(), started) >= n && lit() > 0.02) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    bool tap(const std::string& key) { return tapkey(display.name(), key); }
    // Taps F12 and returns the name of the file the frame was saved to ("" after a minute).
    std::string save() {
        const size_t saved = count(p.stdout_(), "Saved ");
        if (!tap("F12")) return "";
        const auto until = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < until && p.running()) {
            const std::string out = p.stdout_();
            if (count(out, "Saved ") > saved) {
                const size_t at = out.rfind("Saved ") + 6;
                return out.substr(at, out.find('\n', at) - at);
            }
            std::this_thread::sleep_for(50ms);
        }
        return "";
    }
    std::vector<unsigned long> pixels() { return windowpixels(connection, window()); }
    double lit() { return litshare(connection, window()); }
    // The share of the window's pixels that are pure red.
    double red() {
        const std::vector<unsigned long> all = pixels();
        const long count = std::count_if(all.begin(), all.end(), [](unsigned long p) {
            return (p >> 16 & 255) > 200 && (p >> 8 & 255) < 40 && (p & 255) < 40;
        });
        return all.empty() ? 0.0 : double(count) / double(all.size());
    }
    // Waits until `seen` holds of the window; false after a minute.
    template <typename F>
    bool until(F seen) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline && p.running()) {
            if (seen()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    // Saves a resource file as an editor does: written in place, or written beside it and
    // renamed over it.
    void edit(const std::string& name, const std::string& text, bool inplace) {
        const std::filesystem::path file = dir.path() / "resources" / name;
        const std::filesystem::path written = inplace ? file : dir.path() / "resources" / ("." + name + ".swp");
        std::ofstream(written, std::ios::binary | std::ios::trunc) << text;
        if (!inplace) std::filesystem::rename(written, file);
    }
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }
    ~makerrun() {
        if (connection) XCloseDisplay(connection);
    }

    xdisplay display;
    tempdir dir;
    std::string workdir;
    process p;

private:
    Window window() {
        if (!connection) connection = XOpenDisplay(display.name().c_str());
        if (connection && !found) found = findwindow(connection, DefaultRootWindow(connection), "Quellspire");
        return found;
    }
    static std::string withcopies(const std::filesystem::path& dir, const std::vector<std::string>& copies) {
        workdirwithout(dir, builddir, copies);
        for (const std::string& name : copies)
            std::filesystem::copy_file(builddir + "/resources/" + name, dir / "resources" / name);
        return dir.string();
    }
    static std::vector<std::string> withmake(std::vector<std::string> args) {
        args.insert(args.begin(), "--make");
        return args;
    }
    std::vector<std::string> environment(const std::string& audio) const {
        std::vector<std::string> e{"DISPLAY=" + display.name()};
        if (audio.empty()) return e;
        e.push_back("SDL_AUDIODRIVER=disk");
        e.push_back("SDL_DISKAUDIOFILE=" + audio);
        return e;
    }

    Display* connection = nullptr;
    Window found = 0;
};

// The production time, in ms, of a file F12 wrote: "quellspire-025.075.png" is 25075.
long moment(const std::string& name) {
    std::smatch m;
    if (!std::regex_match(name, m, std::regex(R"(quellspire-(\d+)\.(\d{3})\.png)"))) return -1;
    return std::stol(m[1]) * 1000 + std::stol(m[2]);
}

std::string seconds(long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%03ld", ms / 1000, ms % 1000);
    return text;
}

TEST(Maker, MakeOpensAWindowAndGoesWithEveryOtherOption) {
    const char* const argv[] = {"quellspire", "--make", "--from", "88", "--loop", "--mute", "640", "360"};
    const talvo::runconfig config = talvo::parsecommandline(8, argv);
    EXPECT_TRUE(config.make && config.loop && config.mute);
    EXPECT_EQ(config.windowmode, 0);
    EXPECT_EQ(config.from, 88000u);
}

TEST(Maker, SpaceHoldsThePictureAndTheMusic) {
    const tempdir out;
    const std::string audio = out / "audio.raw";
    makerrun run({"--from", "20", "320", "180"}, audio);
    ASSERT_TRUE(run.shows(1)) << run.p.stdout_() << run.p.stderr_();
    ASSERT_TRUE(run.tap("space"));
    // Whatever was in flight when the key came has reached the window and the device.
    std::this_thread::sleep_for(1500ms);
    const std::vector<unsigned long> before = run.pixels();
    const std::vector<float> played = audiotest::readoutput(audio);
    ASSERT_LT(audiotest::firstsound(played), played.size() / 2) << "no music before the hold";
    const size_t heard = played.size();
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(run.pixels() == before) << "the held picture changed";
    const std::vector<float> output = audiotest::readoutput(audio);
    EXPECT_TRUE(std::all_of(output.begin() + std::ptrdiff_t(std::min(heard, output.size())), output.end(),
                            [](float sample) { return sample == 0.0f; }))
        << "the held music went on";
    ASSERT_TRUE(run.tap("Escape"));
    EXPECT_EQ(run.p.wait(60s), 0) << run.p.stderr_();
}

// Held, Right seeks 5 s and '.' steps 25 ms; F12 saves what the window shows, named by its
// time: the frame a capture started at the seek's time shows at that time.
TEST(Maker, SeekAndStepShowWhatACaptureFromThereShows) {
    makerrun run({"--mute", "--from", "20", "320", "180"});
    ASSERT_TRUE(run.shows(1)) << run.p.stdout_() << run.p.stderr_();
    ASSERT_TRUE(run.tap("space"));
    const long held = moment(run.save());
    ASSERT_GE(held, 20000) << run.p.stdout_();
    ASSERT_TRUE(run.tap("Right"));
    ASSERT_TRUE(run.shows(2)) << run.p.stdout_() << run.p.stderr_();
    ASSERT_TRUE(run.tap("period"));
    const std::string name = run.save();
    // A step the loop dropped before the hold leaves the clock off the 25 ms grid; a seek
    // lands on the step that holds its time, as --from does.
    const long target = (held + 5000) - (held + 5000) % 25;
    EXPECT_EQ(moment(name), target + 25) << name;
    ASSERT_TRUE(run.tap("Escape"));
    EXPECT_EQ(run.p.wait(60s), 0) << run.p.stderr_();

    const tempdir frames;
    const std::vector<picture> captured =
        capture(frames.path(), {"--size", "320x180", "--from", seconds(target), "--fps", "40", "--frames", "2"});
    ASSERT_EQ(captured.size(), 2u);
    ASSERT_FALSE(captured[0].rgb == captured[1].rgb) << "one step must change the picture for this test to tell";
    const picture saved = readpng(run.path(name));
    EXPECT_TRUE(saved.rgb == captured[1].rgb) << "the saved frame differs from the capture's";
}

// A saved hdr.frag shows at once; a save that does not compile, or a FIFO in its place, is
// named and keeps the last good picture, on screen in red; a good save again takes its place.
TEST(Maker, SavedShaderIsRebuiltAndABadSaveKeepsTheLastGoodPicture) {
    makerrun run({"--mute", "--from", "20", "320", "180"}, "", {"hdr.frag"});
    ASSERT_TRUE(run.shows(1)) << run.p.stdout_() << run.p.stderr_();
    const std::string original = slurp(builddir + "/resources/hdr.frag");
    const std::string opening = "void main() {\n";
    ASSERT_NE(original.find(opening), std::string::npos);
    std::string red = original, broken = original;
    red.insert(red.find(opening) + opening.size(), "    color = vec4(1.0, 0.0, 0.0, 1.0);\n    return;\n");
    broken.insert(broken.find(opening) + opening.size(), "    this is no shader\n");
    const int brokenline = int(std::count(original.begin(), original.begin() + long(original.find(opening)), '\n')) + 2;

    run.edit("hdr.frag", red, true);
    EXPECT_TRUE(run.until([&] { return run.red() > 0.9; })) << run.p.stderr_();

    run.edit("hdr.frag", broken, false);
    const std::string named = "resources/hdr.frag: 0:" + std::to_string(brokenline) + "(";
    EXPECT_TRUE(run.p.waitforerror(named, 60s)) << run.p.stderr_();
    EXPECT_EQ(count(run.p.stderr_(), "resources/hdr.frag: does not compile"), 1u) << run.p.stderr_();
    EXPECT_GT(run.red(), 0.5) << "the last good picture is gone";
    // A seek would build the production from the broken file.
    ASSERT_TRUE(run.tap("Right"));
    EXPECT_TRUE(run.p.waitforerror("No seek while resources/hdr.frag does not build", 60s)) << run.p.stderr_();
    // A FIFO moved over it is a file that cannot be read, not a wait for a writer.
    const std::filesystem::path fifo = run.dir.path() / "resources/.hdr.frag.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::rename(fifo, run.dir.path() / "resources/hdr.frag");
    EXPECT_TRUE(run.p.waitforerror("resources/hdr.frag: cannot be read", 60s)) << run.p.stderr_();
    EXPECT_GT(run.red(), 0.5) << "the last good picture is gone";

    run.edit("hdr.frag", original, false);
    EXPECT_TRUE(run.until([&] { return run.red() < 0.01; })) << run.p.stderr_();
    ASSERT_TRUE(run.tap("Escape"));
    EXPECT_EQ(run.p.wait(60s), 0) << run.p.stderr_();
}

// A saved snippet rebuilds its generator's kernel: the flames of opening.slcl, collapsed to
// their roots, leave the held picture dark at once.
TEST(Maker, SavedSnippetChangesTheGeometry) {
    makerrun run({"--mute", "--from", "40", "320", "180"}, "", {"opening.slcl"});
    ASSERT_TRUE(run.shows(1)) << run.p.stdout_() << run.p.stderr_();
    ASSERT_TRUE(run.tap("space"));
    // Saved once the held picture shows every step up to the clock.
    ASSERT_FALSE(run.save().empty()) << run.p.stdout_();
    const double lit = run.lit();
    ASSERT_GT(lit, 0.02);
    run.edit("opening.slcl", slurp(builddir + "/resources/opening.slcl") + "\n;x = 0.0f; y = 0.0f; z = 0.0f", true);
    ASSERT_TRUE(run.p.waitforoutput("Rebuilt 1 kernel from resources/opening.slcl", 60s)) << run.p.stderr_();
    EXPECT_TRUE(run.until([&] { return run.lit() < lit / 10; })) << run.lit() << " of the window lit, " << lit << " before";
    ASSERT_TRUE(run.tap("Escape"));
    EXPECT_EQ(run.p.wait(60s), 0) << run.p.stderr_();
}

}  // namespace
