// The capture's command line, its clock arithmetic and its file-name patterns.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/capture/capturestats.h"
#include "app/capture/frameclock.h"
#include "app/capture/framepattern.h"
#include "app/capture/options.h"
#include "app/capture/segmentlabel.h"
#include "app/loop.h"
#include "engine/globals.h"
#include "engine/timercontrol.h"

using namespace talvo::capture;

namespace {

const std::string shots = (std::filesystem::temp_directory_path() / "frame%05d.png").string();
const std::string video = (std::filesystem::temp_directory_path() / "capture.mp4").string();

captureoptions parse(std::vector<std::string> args) { return parseoptions(args); }

// The message parseoptions refuses these arguments with, or "" if it accepts them.
std::string refusal(std::vector<std::string> args) {
    try {
        parseoptions(args);
    } catch (const badoption& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(CaptureOptions, DefaultsCoverTheWholeProductionAt60Fps) {
    captureoptions o = parse({"-o", shots});
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.samples, 0);
    EXPECT_EQ(o.frames, 194 * 60);
    EXPECT_EQ(o.kind, outputkind::png);
    EXPECT_FALSE(o.serial);
    EXPECT_EQ(parse({"-o", video}).kind, outputkind::video);
    EXPECT_TRUE(parse({"-o", shots, "--steps", "serial"}).serial);
}

TEST(CaptureOptions, FrameCountIsTheRangeTimesTheRateRoundedUp) {
    EXPECT_EQ(parse({"-o", video, "--size", "640x360", "--fps", "30", "--from", "0", "--to", "10"}).frames, 300);
    EXPECT_EQ(parse({"-o", shots, "--fps", "60000/1001", "--to", "10"}).frames, 600);  // 599.4 frames start before 10 s
    EXPECT_EQ(parse({"-o", shots, "--fps", "29.97", "--from", "5", "--to", "6"}).frames, 30);
    EXPECT_EQ(parse({"-o", shots, "--from", "56.0", "--frames", "1"}).frames, 1);
    EXPECT_EQ(parse({"-o", shots, "--from", "0.0000000001", "--to", "1"}).frames, 60);
    EXPECT_EQ(parse({"-o", shots, "--from=193.99", "--frames=1"}).frames, 1);
    // The tenth frame, at 193.9995 s, would round to the end.
    EXPECT_EQ(parse({"-o", shots, "--from", "193.9905", "--fps", "1000"}).frames, 9);
    captureoptions o = parse({"--size=320x200", "--samples", "4", "--output=" + shots});
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.samples, 4);
}

TEST(CaptureOptions, BadValuesAreRefusedWithTheirReason) {
    struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"-o", shots, "--size", "0x0"}, "--size: '0x0' is not a size"},
        {{"-o", shots, "--size", "640x"}, "--size: '640x' is not a size"},
        {{"-o", shots, "--size", "640x360x2"}, "is not a size"},
        {{"-o", shots, "--size", "99999x10"}, "is not a size"},
        {{"-o", shots, "--samples", "-1"}, "--samples: '-1' is not a sample count"},
        {{"-o", shots, "--fps", "-1"}, "--fps: '-1' is not a frame rate"},
        {{"-o", shots, "--fps", "0"}, "is not a frame rate"},
        {{"-o", shots, "--fps", "1/0"}, "is not a frame rate"},
        {{"-o", shots, "--fps", "2000"}, "is not a frame rate"},
        {{"-o", shots, "--fps", "1e3"}, "is not a frame rate"},
        {{"-o", shots, "--from", "200"}, "--from: 200 s is not before the production's end (194 s)"},
        {{"-o", shots, "--from", "194"}, "is not before the production's end"},
        // As the player: a start that rounds to the end's millisecond shows only its exit.
        {{"-o", shots, "--from", "193.9999999"}, "--from: 193.9999999 s is not before the production's end (194 s)"},
        {{"-o", shots, "--from", "193.9995", "--fps", "1000"}, "--from: 193.9995 s is not before the production's end"},
        {{"-o", shots, "--from", "193.9905", "--fps", "1000", "--frames", "10"}, "run past the production's end"},
        {{"-o", shots, "--from", "-3"}, "--from: '-3' is not a time in seconds"},
        {{"-o", shots, "--to", "194.001"}, "--to: 194.001 s is past the production's end"},
        {{"-o", shots, "--from", "10", "--to", "10"}, "--to must be later than --from"},
        {{"-o", shots, "--from", "193.99", "--frames", "2"}, "run past the production's end"},
        {{"-o", shots, "--frames", "0"}, "--frames: '0' is not a frame count"},
        {{"-o", shots, "--to", "5", "--frames", "3"}, "give --to or --frames, not both"},
        {{}, "no output"},
        {{"-o", "frames.png"}, "needs one frame number"},
        {{"-o", "frame%d%d.png"}, "needs one frame number"},
        {{"-o", "frame%s.png"}, "needs one frame number"},
        {{"-o", "out.avi"}, "is neither a .png pattern nor an .mp4 or .mkv video"},
        {{"-o", "/nonexistent-dir/out.mp4"}, "directory '/nonexistent-dir' does not exist"},
        {{"-o", "/dev/null/out.mkv"}, "'/dev/null' is not a directory"},
        {{"-o", std::filesystem::temp_directory_path().string() + "/"}, "is neither"},
        {{"-o", video, "--size", "641x360"}, "a video needs an even width and height"},
        {{"-o", shots, "--crf", "20"}, "--crf applies to video output only"},
        {{"-o", video, "--crf", "52"}, "--crf: '52' is not a quality"},
        {{"-o", shots, "--stats", "/nonexistent-dir/s.json"}, "--stats: cannot write there"},
        {{"-o", shots, "--steps", "parallel"}, "--steps: 'parallel' is neither overlapped nor serial"},
        {{"-o", shots, "--size"}, "--size needs a value"},
        {{"-o", shots, "-o", shots}, "-o is given twice"},
        {{"-o", shots, "--speed", "2"}, "unknown option '--speed'"},
        {{"-o", shots, "extra"}, "unexpected argument 'extra'"},
        {{"-o", shots, "--part", "2/1"}, "--part: '2/1' is not a part K/N"},
        {{"-o", shots, "--part", "1/"}, "--part: '1/' is not a part K/N"},
        {{"-o", shots, "--part", "-1/2"}, "--part: '-1/2' is not a part K/N"},
        {{"-o", shots, "--from", "10", "--frames", "3", "--part", "1/4"}, "the range has only 3 frames, too few for 4 parts"},
        {{"--join", "out.mp4"}, "--join needs the output and at least one segment"},
        {{"--join", "out.avi", "a.mkv"}, "--join: 'out.avi' is not an .mp4 or .mkv video"},
        {{"--join", video, "/nonexistent-dir/a.mkv"}, "--join: cannot read the segment '/nonexistent-dir/a.mkv'"},
        {{"--join", video, std::filesystem::temp_directory_path().string()}, "--join: cannot read the segment"},
        {{"-o", video, "--join", video, "a.mkv"}, "--join comes first and takes no options"},
        {{"-o", shots, "--frames", "99999999999999999999"}, "--frames: '99999999999999999999' is too large: from 0 s"},
        {{"-o", video, "--stats", video}, "--stats: '" + video + "' is also the output"},
        {{"-o", shots, "--stats", shots.substr(0, shots.size() - 13) + "./frame00042.png"}, "is also the output"},
        {{"-o", std::filesystem::temp_directory_path().string() + "/s%d/f.png"}, "-o: the frame number of a PNG pattern belongs in the file name"},
        {{"-o", std::string(252, 'a') + ".mp4"}, "cannot write there: the name 'aaaa"},
        {{"-o", std::string(247, 'a') + "%d.png"}, "is longer than 255 bytes"},  // only from frame 10000
        {{"-o", shots, "--stats", std::string(256, 's')}, "--stats: cannot write there: the name"},
    };
    for (const auto& c : cases) {
        std::string why = refusal(c.args);
        EXPECT_NE(why.find(c.reason), std::string::npos)
            << "arguments: " << testing::PrintToString(c.args) << "\nmessage: " << why;
    }
    EXPECT_TRUE(parse({"--size", "0x0", "--help"}).help);
    // Frames outside the range are no output.
    EXPECT_EQ(parse({"-o", shots, "--frames", "2", "--stats", shots.substr(0, shots.size() - 13) + "frame00002.png"}).frames, 2);
    // An echoed value is shortened.
    const std::string said = refusal({"-o", shots, "--size", std::string(100000, '9')});
    EXPECT_EQ(said.rfind("--size: '99999", 0), 0u) << said;
    EXPECT_LT(said.size(), 200u) << said;
    EXPECT_NE(said.find("9…' is not a size"), std::string::npos) << said;
}

TEST(CaptureOptions, APrefixNamesOneOptionOrIsRefusedWithItsCandidates) {
    for (auto [word, candidates] : {std::pair{"--fr", "--from, --frames"}, std::pair{"--f", "--fps, --from, --frames"},
                                    std::pair{"--s", "--size, --samples, --stats, --steps"},
                                    std::pair{"--st=x", "--stats, --steps"}})
        EXPECT_EQ(refusal({word, "3", "-o", shots}), "option '" + std::string(word).substr(0, std::string(word).find('=')) +
                                                         "' is ambiguous: " + candidates);
    captureoptions o = parse({"--o", video, "--si", "320x200", "--fra=5", "--sta", video + ".json", "--ste", "serial"});
    EXPECT_EQ(o.output, video);
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.frames, 5);
    EXPECT_EQ(o.stats, video + ".json");
    EXPECT_TRUE(o.serial);
    EXPECT_TRUE(parse({"-o", shots, "--he"}).help);
    const std::string segment = std::filesystem::path(QUELLSPIRE_CAPTURE).string();  // any readable file
    EXPECT_TRUE(parse({"--jo", video, segment}).join);
    EXPECT_EQ(refusal({"-o", video, "--jo", video}), "--join comes first and takes no options: --join OUT SEGMENTS...");
}

TEST(FrameClock, MomentsAreExactAndRoundedToTheMillisecond) {
    frameclock ntsc({0, 1}, {60000, 1001});
    EXPECT_EQ(ntsc.moment(0), 0u);
    EXPECT_EQ(ntsc.moment(1), 17u);     // 16.683
    EXPECT_EQ(ntsc.moment(3), 50u);     // 50.050
    EXPECT_EQ(ntsc.moment(1001), 16700u);  // no drift after many frames
    EXPECT_EQ(ntsc.moment(11628), 193994u);  // 193993.8
    frameclock halves({0, 1}, {400, 1});
    EXPECT_EQ(halves.moment(1), 3u);  // 2.5 rounds up
    frameclock late({5635, 100}, {30, 1});
    EXPECT_EQ(late.moment(0), 56350u);
    EXPECT_EQ(late.moment(1), 56383u);
    EXPECT_EQ(talvo::firststep(late.moment(0)), 56350u);
    EXPECT_EQ(talvo::firststep(frameclock({56360, 1000}, {30, 1}).moment(0)), 56350u);
}

// The clock through the loop's own step arithmetic and a real timeline: a frame runs every
// step that begins at or before its moment, so the schedule switches exactly at its times.
TEST(FrameClock, FramesSeeTheScheduleSwitchAtItsTimes) {
    auto production = [](uint32_t from, uint32_t moment, int& steps) {
        uint32_t updated = talvo::firststep(from);
        steps = talvo::runsteps(frameclock::frametick(moment), updated, -1, [] {});
        return updated;
    };
    int steps = 0;
    EXPECT_EQ(production(0, 0, steps), 25u);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(production(0, 1000, steps), 1025u);
    EXPECT_EQ(steps, 41);  // no limit, no dropped backlog
    EXPECT_EQ(production(56000, 56000, steps), 56025u);
    EXPECT_EQ(production(55990, 56000, steps), 56025u);
    EXPECT_EQ(steps, 2);

    for (auto [moment, fires] : {std::pair{55999u, false}, std::pair{56000u, true}}) {
        talvo::controls::timercontrol timeline;
        timeline.addevent(56000.f);
        talvo::starttime = 0;
        talvo::updatetime = production(moment, moment, steps);
        EXPECT_EQ(timeline.sync(), fires) << "frame at " << moment << " ms";
    }
}

TEST(FramePattern, NumbersFramesAndRefusesAnythingButOneNumber) {
    EXPECT_EQ(framepattern::parse("shots/frame%05d.png")->path(7), "shots/frame00007.png");
    EXPECT_EQ(framepattern::parse("shots/frame%05d.png")->path(123456), "shots/frame123456.png");
    EXPECT_EQ(framepattern::parse("%d.png")->path(12), "12.png");
    EXPECT_EQ(framepattern::parse("100%%-%3d.png")->path(7), "100%-  7.png");
    for (const char* bad : {"frame.png", "%d-%d.png", "%s.png", "%05.png", "%n.png", "%x.png", "frame%", "%-5d.png",
                            "%999d.png", "%%d.png", "%d%.png"})
        EXPECT_FALSE(framepattern::parse(bad)) << bad;
    // A path as long as a command line's word may be.
    const std::string longpath(120000, 'a');
    EXPECT_EQ(framepattern::parse(longpath + "%%%d.png")->path(3), longpath + "%3.png");
    EXPECT_FALSE(framepattern::parse(longpath + "%d%" + longpath));
}

TEST(CaptureStats, MediansAndSceneSummaries) {
    EXPECT_DOUBLE_EQ(capturestats::median({3, 1, 2}), 2);
    EXPECT_DOUBLE_EQ(capturestats::median({3, 1, 2, 10}), 2.5);
    EXPECT_DOUBLE_EQ(capturestats::median({}), 0);
    capturestats stats({"opening", "entryway"});
    stats.step(1, 2.0);
    stats.step(1, 4.0);
    stats.frame(1, 56500, 10.0);
    stats.frame(1, 56600, 8.0);
    const nlohmann::json json = nlohmann::json::parse(stats.json());
    // Each drawn frame along the production, with the mean of the steps run for it.
    EXPECT_EQ(json["timeline"], nlohmann::json::parse("[[56.5, 3, 10], [56.6, 0, 8]]"));
    EXPECT_FALSE(json["scenes"].contains("opening")) << json;
    EXPECT_EQ(json["scenes"]["entryway"], nlohmann::json::parse(R"({"frames": 2, "steps": 2, "update_mean_ms": 3,
        "update_median_ms": 3, "display_mean_ms": 9, "display_median_ms": 9})"));
}

// Parts cover the range once, in order, as nearly equal as whole frames allow.
TEST(CaptureParts, SplitTheRangeIntoConsecutiveNearlyEqualPieces) {
    for (int64_t frames : {1, 2, 7, 30, 11640}) {
        for (int count : {1, 2, 3, 7}) {
            if (frames < count) continue;
            int64_t next = 0, smallest = frames, largest = 0;
            for (int index = 1; index <= count; ++index) {
                capturepart part = capturepart::of(frames, index, count);
                EXPECT_EQ(part.first, next) << index << "/" << count << " of " << frames;
                next = part.end;
                smallest = std::min(smallest, part.frames());
                largest = std::max(largest, part.frames());
            }
            EXPECT_EQ(next, frames);
            EXPECT_GE(smallest, 1);
            EXPECT_LE(largest - smallest, 1);
        }
    }
    captureoptions o = parse({"-o", shots, "--fps", "30", "--from", "26", "--to", "30", "--part", "2/2"});
    ASSERT_TRUE(o.part);
    EXPECT_EQ(o.frames, 120);
    EXPECT_EQ(o.part->first, 60);
    EXPECT_EQ(o.part->end, 120);
    EXPECT_FALSE(parse({"-o", shots}).part);
}

TEST(CaptureParts, JoinTakesTheOutputAndTheSegmentsInOrder) {
    const std::string segment = std::filesystem::path(QUELLSPIRE_CAPTURE).string();  // any readable file
    const std::string other = std::string(TALVO_SOURCE_DIR) + "/README.md";
    captureoptions o = parse({"--join", video, other, segment});
    EXPECT_TRUE(o.join);
    EXPECT_EQ(o.output, video);
    EXPECT_EQ(o.segments, (std::vector<std::string>{other, segment}));
    // A file given twice, by any name, is refused before anything is probed.
    EXPECT_EQ(refusal({"--join", video, segment, other, segment}), "--join: '" + segment + "' is given twice");
    EXPECT_EQ(refusal({"--join", video, segment, other, "/./" + segment}), "--join: '/./" + segment + "' is '" + segment + "' again");
    // Joining into one of the segments would overwrite it while it is read.
    const std::string made = (std::filesystem::temp_directory_path() / "capture-options-segment.mkv").string();
    std::ofstream(made) << "a segment";
    EXPECT_NE(refusal({"--join", made, segment, made}).find("--join: the output '" + made + "' is also one of the segments"),
              std::string::npos);
    std::filesystem::remove(made);
}

// The label a segment carries reads back as written, and only such text is taken.
TEST(CaptureParts, SegmentLabelsReadBackAsWritten) {
    segmentlabel label;
    label.part = capturepart::of(5821, 3, 4);
    label.frames = 5821;
    label.from = talvo::makerational(2711, 20);
    label.fps = talvo::makerational(60000, 1001);
    label.width = 640;
    label.height = 360;
    label.crf = 18;
    const std::string text = label.text();
    EXPECT_EQ(text, "part=3/4 frames=5821 from=2711/20 fps=60000/1001 size=640x360 crf=18");
    std::optional<segmentlabel> back = segmentlabel::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text(), text);
    EXPECT_EQ(back->part.first, label.part.first);
    EXPECT_EQ(back->part.end, label.part.end);
    EXPECT_TRUE(back->samecapture(label));
    segmentlabel other = label;
    other.crf = 0;
    EXPECT_FALSE(other.samecapture(label));
    for (const char* bad : {"", "part=3/4", "part=5/4 frames=5821 from=0 fps=60 size=640x360 crf=18",
                            "part=3/4 frames=2 from=0 fps=60 size=640x360 crf=18",
                            "part=3/4 frames=5821 from=0 fps=0 size=640x360 crf=18",
                            "part=3/4 frames=5821 from=0 fps=60 size=640x360 crf=18 extra=1",
                            "frames=5821 part=3/4 from=0 fps=60 size=640x360 crf=18"})
        EXPECT_FALSE(segmentlabel::parse(bad)) << bad;
}

// The join takes the label of every segment a capture writes, and no label a capture cannot
// write, whatever its length.
TEST(CaptureParts, SegmentLabelsAreThoseACaptureWrites) {
    // Decimals whose fractions in lowest terms have parts above 10^9.
    captureoptions o = parse({"--fps", "29.92666666", "--from", "100.123456789", "--part", "1/2", "-o", video});
    const segmentlabel label{*o.part, o.frames, o.from, o.fps, o.width, o.height, o.crf};
    std::optional<segmentlabel> back = segmentlabel::parse(label.text());
    ASSERT_TRUE(back) << label.text();
    EXPECT_EQ(back->text(), label.text());
    EXPECT_EQ(back->outofrange(), "");

    for (auto [text, why] : {std::pair{"part=1/1 frames=4 from=481/3 fps=30 size=64x48 crf=18",
                                       "from=481/3 is no time --from takes (at most 9 decimals)"},
                             std::pair{"part=1/1 frames=4 from=160 fps=2000000001/2000000000 size=64x48 crf=18",
                                       "fps=2000000001/2000000000 is no rate --fps takes"}}) {
        std::optional<segmentlabel> forged = segmentlabel::parse(text);
        ASSERT_TRUE(forged) << text;
        EXPECT_EQ(forged->outofrange(), why);
    }
    EXPECT_FALSE(segmentlabel::parse(label.text() + std::string(100000, ' ')));
}
