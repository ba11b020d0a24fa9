// The whole production in one capture from its start: one small frame every second from 0 to
// 193 s, with every update step run between them. Every scene must show something in every
// frame, except where the production means a plain frame: the first frame of the run, the
// first frame of a scene (drawn before its first step), the copies of the opening's lines
// flaring white once they are squashed inside out (44 s on), and the whiteout into
// dreamscape's flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pictures.h"
#include "support/process.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;

namespace {

// A frame is plain when it is black but for a few faint pixels, or white throughout.
bool black(const picture& p) {
    return std::count_if(p.rgb.begin(), p.rgb.end(), [](uint8_t v) { return v > 24; }) < 4;
}
bool white(const picture& p) {
    return *std::min_element(p.rgb.begin(), p.rgb.end()) > 230;
}

TEST(wholeproduction, EveryScenePlaysFromStartToEndAndShowsSomethingEverySecond) {
    const tempdir dir;
    const std::string stats = dir / "stats.json";
    process run(QUELLSPIRE_CAPTURE,
                {"--size", "64x36", "--fps", "1", "--to", "194", "--stats", stats, "-o", dir / "second%03d.png"},
                TALVO_BUILD_DIR);
    ASSERT_EQ(run.wait(1200s), 0) << run.stderr_();

    // Standard error holds the progress and nothing else: no check line, no warning.
    std::istringstream lines(run.stderr_());
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.rfind("frame ", 0) == 0 || line.rfind("captured ", 0) == 0 || line.rfind("No display", 0) == 0)
            << line;

    const std::string figures = slurp(stats);
    for (const char* scene : {R"("opening": {"frames": 56,)", R"("entryway": {"frames": 32,)",
                              R"("dreamscape": {"frames": 48,)", R"("flight": {"frames": 24,)",
                              R"("credits": {"frames": 34,)"})
        EXPECT_NE(figures.find(scene), std::string::npos) << scene << "\n" << figures;

    // Seconds at which a black frame is meant: the start, each scene's first frame, the
    // credits' exposure rising from 0; a white one: the flare of the lines (44 to 55 s), the
    // whiteout (84 s on) into the flash (88 s).
    const std::set<int> blackallowed{0, 28, 56, 136, 160, 161};
    const std::set<int> whiteallowed{44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 84, 85, 86, 87, 88};
    for (int s = 0; s < 194; ++s) {
        char name[32];
        std::snprintf(name, sizeof name, "second%03d.png", s);
        const picture p = readpng(dir / name);
        if (!blackallowed.count(s)) EXPECT_FALSE(black(p)) << s << " s is black";
        if (!whiteallowed.count(s)) EXPECT_FALSE(white(p)) << s << " s is white";
    }
}

}  // namespace
