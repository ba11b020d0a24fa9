#pragma once
// The production's schedule, its one table: every scene's name and start, in milliseconds of
// production time, and the end. demostart switches its scenes at these starts, each scene
// reads its own start here (a nested one's start is the moment its parent's timeline turns to
// it), and the overlay, the capture's progress line and its statistics name scenes by it.
// Here, below the scenes, so that they can read it.
#include <array>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace talvo::schedule {

struct entry {
    const char* name;
    uint32_t start;
    bool nested;  // drawn inside the scene before it in play, not switched to by demostart
};

inline constexpr entry scenes[] = {
    {"opening", 0, false},        {"lines", 28000, true},      {"entryway", 56000, false},
    {"entrytunnel", 74000, true}, {"dreamscape", 88000, false}, {"flight", 136000, false},
    {"credits", 160000, false},
};

// The production ends here, and with it the music.
inline constexpr uint32_t endtime = 194000;

// The start of the scene named `name`; names outside the table do not compile where a
// constant is needed.
constexpr uint32_t startof(std::string_view name) {
    for (const entry& e : scenes)
        if (name == e.name) return e.start;
    throw "no such scene";
}

// How many scenes demostart switches between.
inline constexpr unsigned toplevel = [] {
    unsigned n = 0;
    for (const entry& e : scenes) n += e.nested ? 0 : 1;
    return n;
}();

// The scenes demostart switches between, in play order.
inline constexpr std::array<entry, toplevel> played = [] {
    std::array<entry, toplevel> found{};
    unsigned i = 0;
    for (const entry& e : scenes)
        if (!e.nested) found[i++] = e;
    return found;
}();

}  // namespace talvo::schedule
