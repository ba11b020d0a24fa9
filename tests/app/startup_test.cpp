// Command line, GL version test and the update thread's step arithmetic, without GL.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/loop.h"
#include "app/production.h"
#include "app/runconfig.h"
#include "engine/globals.h"

using talvo::parsecommandline;
using talvo::runconfig;

namespace {
runconfig parse(std::vector<const char*> args) {
    args.insert(args.begin(), "quellspire");
    return parsecommandline(static_cast<int>(args.size()), args.data());
}
}  // namespace

TEST(CommandLine, ReadsWidthHeightAndSamples) {
    runconfig none = parse({});
    EXPECT_EQ(none.width, 1280);
    EXPECT_EQ(none.height, 720);
    EXPECT_EQ(none.samples, 0);
    EXPECT_EQ(none.windowmode, 1);
    EXPECT_EQ(none.title, "Quellspire");
    EXPECT_EQ(none.soundfile, "sound.flac");
    EXPECT_TRUE(none.vsync);
    EXPECT_EQ(none.glmajor, 3);
    EXPECT_EQ(none.glminor, 3);

    runconfig all = parse({"800", "600", "4"});
    EXPECT_EQ(all.width, 800);
    EXPECT_EQ(all.height, 600);
    EXPECT_EQ(all.samples, 4);
}

TEST(CommandLine, OneArgumentIsIgnored) {
    runconfig one = parse({"800"});
    EXPECT_EQ(one.width, 1280);
    EXPECT_EQ(one.height, 720);
}

TEST(CommandLine, NonNumbersKeepTheirDefaultsAndLeadingDigitsCount) {
    runconfig letters = parse({"abc", "600"});
    EXPECT_EQ(letters.width, 1280);
    EXPECT_EQ(letters.height, 600);

    runconfig suffixed = parse({"1024px", "576x", "2samples"});
    EXPECT_EQ(suffixed.width, 1024);
    EXPECT_EQ(suffixed.height, 576);
    EXPECT_EQ(suffixed.samples, 2);

    runconfig negative = parse({"-5", "-5"});
    EXPECT_EQ(negative.width, -5);  // read as written; the window then fails to open
    EXPECT_EQ(negative.height, -5);

    runconfig empty = parse({"", " ", "x"});
    EXPECT_EQ(empty.width, 1280);
    EXPECT_EQ(empty.height, 720);
    EXPECT_EQ(empty.samples, 0);
}

namespace {
// The message parsecommandline refuses these arguments with, or "" when it takes them.
std::string refusal(std::vector<const char*> args) {
    try {
        parse(std::move(args));
    } catch (const talvo::badcommandline& e) {
        return e.what();
    }
    return "";
}
}  // namespace

TEST(CommandLine, OptionsStandAnywhereAndLeaveThePositionalArgumentsAsTheyAre) {
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"--windowed", "--from", "100", "800", "600", "4"},
             {"800", "--from=100", "600", "--windowed", "4"},
             {"800", "600", "4", "--windowed", "--from", "100"}}) {
        runconfig c = parse(args);
        EXPECT_EQ(c.windowmode, 0);
        EXPECT_EQ(c.from, 100000u);
        EXPECT_EQ(c.width, 800);
        EXPECT_EQ(c.height, 600);
        EXPECT_EQ(c.samples, 4);
        EXPECT_FALSE(c.loop);
        EXPECT_FALSE(c.mute);
    }
    // Taken out first: what remains is read as before, a single number still ignored, a
    // negative one still read as written.
    runconfig one = parse({"--loop", "800", "--mute"});
    EXPECT_TRUE(one.loop);
    EXPECT_TRUE(one.mute);
    EXPECT_EQ(one.width, 1280);
    EXPECT_EQ(one.height, 720);
    EXPECT_EQ(one.windowmode, 1);
    runconfig negative = parse({"-5", "--windowed", "-5"});
    EXPECT_EQ(negative.width, -5);
    EXPECT_EQ(negative.height, -5);

    EXPECT_EQ(parse({}).from, 0u);
    EXPECT_EQ(parse({}).restart, 0u);
}

TEST(CommandLine, FromIsATimeInSecondsBeforeTheEnd) {
    EXPECT_EQ(parse({"--from", "0"}).from, 0u);
    EXPECT_EQ(parse({"--from", "56.35"}).from, 56350u);
    EXPECT_EQ(parse({"--from", "100.0005"}).from, 100001u);  // whole milliseconds, halves up
    EXPECT_EQ(parse({"--from", "193.999"}).from, 193999u);
    // Places past the ninth are rounded off, not refused.
    EXPECT_EQ(parse({"--from", "0.0000000001"}).from, 0u);
    EXPECT_EQ(parse({"--from", "1.9999999999"}).from, 2000u);
    EXPECT_EQ(refusal({"--from", "194"}), "--from: 194 s is not before the production's end (194 s)");
    EXPECT_EQ(refusal({"--from", "193.9996"}), "--from: 193.9996 s is not before the production's end (194 s)");
    for (const char* bad : {"abc", "-5", "1e2", "", "100s", "--loop"})
        EXPECT_EQ(refusal({"--from", bad}), std::string("--from: '") + bad + "' is not a time in seconds (e.g. 100 or 100.5)");
}

TEST(CommandLine, UnusableOptionsAreRefusedWithTheirName) {
    EXPECT_EQ(refusal({"800", "600", "--fullscreen"}), "unknown option '--fullscreen'");
    EXPECT_EQ(refusal({"--size=800x600"}), "unknown option '--size'");
    EXPECT_EQ(refusal({"--"}), "unknown option '--'");
    EXPECT_EQ(refusal({"--from"}), "--from needs a value");
    EXPECT_EQ(refusal({"--loop=yes"}), "--loop takes no value");
    EXPECT_EQ(refusal({"--mute", "--mute"}), "--mute is given twice");
    EXPECT_EQ(refusal({"--from", "1", "--from=2"}), "--from is given twice");
    EXPECT_EQ(refusal({"2147483648", "10"}), "the width '2147483648' is out of range");
    EXPECT_EQ(refusal({"800", "600", "-99999999999"}), "the sample count '-99999999999' is out of range");
    // A single dash is no option: such words stay positional, as they always were.
    EXPECT_EQ(refusal({"-w", "600"}), "");
    // A prefix names the one option it begins, or is refused with its candidates.
    EXPECT_EQ(refusal({"--m"}), "option '--m' is ambiguous: --mute, --make");
    runconfig prefixed = parse({"--wi", "--mu", "--fr=5", "--l"});
    EXPECT_EQ(prefixed.windowmode, 0);
    EXPECT_TRUE(prefixed.mute);
    EXPECT_TRUE(prefixed.loop);
    EXPECT_EQ(prefixed.from, 5000u);
    // An echoed value is shortened.
    const std::string said = refusal({"--from", std::string(100000, 'x').c_str()});
    EXPECT_LT(said.size(), 200u) << said;
    EXPECT_NE(said.find("x…' is not a time"), std::string::npos) << said;
}

TEST(CommandLine, HelpAnswersWhereverItStands) {
    auto asks = [](std::vector<const char*> args) {
        args.insert(args.begin(), "quellspire");
        return talvo::askshelp(static_cast<int>(args.size()), args.data());
    };
    EXPECT_TRUE(asks({"--help"}));
    EXPECT_TRUE(asks({"-h"}));
    EXPECT_TRUE(asks({"800", "600", "--bogus", "--help"}));
    EXPECT_FALSE(asks({}));
    EXPECT_TRUE(asks({"800", "--he"}));  // a prefix, as of any option
    EXPECT_FALSE(asks({"--helper", "-help"}));
    EXPECT_EQ(refusal({"--help"}), "");
    for (const char* text : {"Usage: quellspire [options] [width height [samples]]", "--windowed", "--from S",
                             "--loop", "--mute", "--help", "Escape", "close button"})
        EXPECT_NE(std::string(talvo::helptext).find(text), std::string::npos) << text;
}

TEST(SoftwareRenderer, NamedByItsRasteriser) {
    EXPECT_TRUE(talvo::softwarerenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(talvo::softwarerenderer("softpipe"));
    EXPECT_TRUE(talvo::softwarerenderer("Mesa DRI swrast"));
    EXPECT_TRUE(talvo::softwarerenderer("Software Rasterizer"));
    EXPECT_FALSE(talvo::softwarerenderer("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    EXPECT_FALSE(talvo::softwarerenderer("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
    EXPECT_FALSE(talvo::softwarerenderer(nullptr));
}

TEST(GLVersion, ParsesTheLeadingNumbers) {
    int major = 0, minor = 0;
    ASSERT_TRUE(talvo::parseglversion("4.5 (Core Profile) Mesa 22.3.6", major, minor));
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 5);
    ASSERT_TRUE(talvo::parseglversion("3.3.0 NVIDIA 535.54", major, minor));
    EXPECT_EQ(major, 3);
    EXPECT_EQ(minor, 3);
    EXPECT_FALSE(talvo::parseglversion("2.1 Mesa", major, minor));
    EXPECT_FALSE(talvo::parseglversion("OpenGL ES 3.2", major, minor));
    EXPECT_FALSE(talvo::parseglversion("", major, minor));
    EXPECT_FALSE(talvo::parseglversion(nullptr, major, minor));
}

TEST(GLVersion, SupportTest) {
    EXPECT_TRUE(talvo::supportsversion(3, 3, 3, 3));
    EXPECT_TRUE(talvo::supportsversion(3, 4, 3, 3));
    EXPECT_TRUE(talvo::supportsversion(4, 0, 3, 3));
    EXPECT_FALSE(talvo::supportsversion(3, 2, 3, 3));
}

namespace {
struct stepper {
    int steps = 0;
    std::function<void()> step() {
        return [this] { ++steps; };
    }
};
}  // namespace

TEST(UpdateSteps, RunOncePer25MillisecondsStrictly) {
    stepper s;
    uint32_t updated = 1000;
    EXPECT_EQ(talvo::runsteps(1025, updated, talvo::maxsteps, s.step()), 0);  // exactly 25: none
    EXPECT_EQ(updated, 1000u);
    EXPECT_EQ(talvo::runsteps(1026, updated, talvo::maxsteps, s.step()), 1);
    EXPECT_EQ(updated, 1025u);
    // A 40 ms frame after that: the lead is 41, one step; the next frame catches up.
    EXPECT_EQ(talvo::runsteps(1066, updated, talvo::maxsteps, s.step()), 1);
    EXPECT_EQ(updated, 1050u);
    EXPECT_EQ(talvo::runsteps(1106, updated, talvo::maxsteps, s.step()), 2);
    EXPECT_EQ(updated, 1100u);
    EXPECT_EQ(s.steps, 4);
    // A frame behind the steps runs none and leaves the clock.
    EXPECT_EQ(talvo::runsteps(1090, updated, -1, s.step()), 0);
    EXPECT_EQ(updated, 1100u);
}

TEST(UpdateSteps, TenStepLimitDropsTheBacklog) {
    stepper s;
    uint32_t updated = 5000;
    // A one-second stall: ten steps, then the production time skips ahead.
    EXPECT_EQ(talvo::runsteps(6000, updated, talvo::maxsteps, s.step()), 10);
    EXPECT_EQ(updated, 6000u - 25u);
    EXPECT_EQ(talvo::runsteps(6000, updated, talvo::maxsteps, s.step()), 0);

    // A backlog of exactly ten steps plus the allowed lead is caught up, not dropped.
    updated = 0;
    EXPECT_EQ(talvo::runsteps(275, updated, talvo::maxsteps, s.step()), 10);
    EXPECT_EQ(updated, 250u);
}

TEST(UpdateSteps, UnlimitedRunsEveryDueStep) {
    stepper s;
    uint32_t updated = 0;
    EXPECT_EQ(talvo::runsteps(10000, updated, -1, s.step()), 399);
    EXPECT_EQ(updated, 9975u);
}

TEST(StartClock, StartsAtTheStepThatHoldsTheStartInStepWithTheMusic) {
    // From the beginning: every clock at the tick it starts on, as ever.
    talvo::startclock(5000, 0);
    EXPECT_EQ(talvo::starttime, 5000u);
    EXPECT_EQ(talvo::updatetime, 5000u);
    EXPECT_EQ(talvo::frametime, 5000u);
    EXPECT_EQ(talvo::prevupdatetime, 5000u);
    // 100.010 s in: production time reads 100.010 s at the tick it starts on, where the music
    // starts; the steps begin at 100.000 s, the step that holds it.
    talvo::startclock(5000, 100010);
    EXPECT_EQ(talvo::starttime, 5000u - 100010u);
    EXPECT_EQ(talvo::productiontime(), 100000u);
    EXPECT_EQ(talvo::prevupdatetime, talvo::updatetime);
    // No step is due before the first frame: the frame a moment later runs the next one.
    stepper s;
    EXPECT_EQ(talvo::runsteps(5000, talvo::updatetime, talvo::maxsteps, s.step()), 0);
    EXPECT_EQ(talvo::runsteps(5016, talvo::updatetime, talvo::maxsteps, s.step()), 1);
    EXPECT_EQ(talvo::productiontime(), 100025u);
    // Near the counter's wrap the arithmetic wraps with it.
    talvo::startclock(10, 56000);
    EXPECT_EQ(talvo::productiontime(), 56000u);
    EXPECT_EQ(talvo::firststep(56024), 56000u);
    EXPECT_EQ(talvo::firststep(56025), 56025u);
}

TEST(UpdateSteps, WrapAroundOfTheTickCounter) {
    stepper s;
    uint32_t updated = UINT32_MAX - 30;  // 31 ms before the counter wraps
    EXPECT_EQ(talvo::runsteps(20, updated, talvo::maxsteps, s.step()), 2);  // lead 51
    EXPECT_EQ(updated, 19u);
    EXPECT_EQ(talvo::runsteps(44, updated, talvo::maxsteps, s.step()), 0);  // lead 25
    EXPECT_EQ(talvo::runsteps(45, updated, talvo::maxsteps, s.step()), 1);
    EXPECT_EQ(updated, 44u);
}
