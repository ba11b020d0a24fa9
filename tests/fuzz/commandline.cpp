// The player's command line, fuzzed: any words (input split at NUL bytes) are either refused
// with badcommandline or give a configuration within what the README documents.
#include <algorithm>
#include <string>
#include <vector>

#include "app/runconfig.h"
#include "production/demostart.h"
#include "words.h"

namespace {

// The configuration, or the refusal's message, as one text to compare two readings by.
std::string reading(const std::vector<const char*>& argv) {
    try {
        const talvo::runconfig c = talvo::parsecommandline(int(argv.size()), argv.data());
        return std::to_string(c.windowmode) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
               std::to_string(c.samples) + " " + std::to_string(c.from) + " " + std::to_string(c.loop) +
               std::to_string(c.mute);
    } catch (const talvo::badcommandline& e) {
        return std::string("refused: ") + e.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words = fuzz::words(data, size);
    words.insert(words.begin(), "quellspire");
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const auto given = [&](const char* word) { return std::find(words.begin() + 1, words.end(), word) != words.end(); };

    FUZZ_REQUIRE(talvo::askshelp(int(argv.size()), argv.data()) == given("--help"));
    talvo::runconfig config;
    try {
        config = talvo::parsecommandline(int(argv.size()), argv.data());
    } catch (const talvo::badcommandline& e) {
        FUZZ_REQUIRE(*e.what());
        return 0;
    }
    // A start before the end, and the options named in full, wherever they stand, set what
    // they name: no word of an accepted line is the value of another option but --from's.
    FUZZ_REQUIRE(config.from < talvo::demostart::endtime);
    FUZZ_REQUIRE(!given("--windowed") || config.windowmode == 0);
    FUZZ_REQUIRE(!given("--loop") || config.loop);
    FUZZ_REQUIRE(!given("--mute") || config.mute);
    FUZZ_REQUIRE(!given("--"));
    // getopt keeps its state in globals: a second reading must not see the first.
    FUZZ_REQUIRE(reading(argv) == reading(argv));
    return 0;
}
