#pragma once
// The production: constructs every scene up front, owns the top-level timeline and the
// scene switcher, fixes the schedule, owns the shared HDR targets and ends the run through
// its last item.
#include <array>
#include <cstdint>

#include "engine/state.h"
#include "scenes/schedule.h"

namespace talvo {

namespace controls {
class timercontrol;
template <typename T>
class control;
}  // namespace controls

class demostart : public state {
public:
    // The last item of the schedule: its sync ends the run.
    class exit : public state {
    public:
        bool sync() override;
    };

    // Production time, in milliseconds, of the last event: the production ends there.
    static constexpr uint32_t endtime = schedule::endtime;
    // The switcher's items by name (the schedule's scenes, then "exit"), in the order of its
    // index (modulo their count).
    static constexpr unsigned scenecount = schedule::toplevel + 1;
    static constexpr std::array<const char*, scenecount> scenenames = [] {
        std::array<const char*, scenecount> names{};
        for (unsigned i = 0; i < schedule::toplevel; ++i) names[i] = schedule::played[i].name;
        names.back() = "exit";
        return names;
    }();

    demostart();
    demostart(const demostart&) = delete;
    demostart& operator=(const demostart&) = delete;

    void display() override;
    void update() override;
    bool sync() override;
    void resize(int width, int height) override;
    void enter(state* previous) override;
    void leave(state* next) override;

    controls::timercontrol& timeline() { return *timeline_; }
    controls::control<state>& switcher() { return *switcher_; }

private:
    statelist states;
    controls::timercontrol* timeline_;
    controls::control<state>* switcher_;
};

}  // namespace talvo
