#include "production/demostart.h"

#include <epoxy/gl.h>

#include <memory>
#include <string_view>

#include "engine/control.h"
#include "engine/globals.h"
#include "gl/sharedtargets.h"
#include "engine/timercontrol.h"
#include "scenes/credits.h"
#include "scenes/dreamscape.h"
#include "scenes/entryway.h"
#include "scenes/flight.h"
#include "scenes/opening.h"

namespace talvo {

namespace {
// The requested sample count of the shared targets; the texture layer lowers it to what
// the driver can do.
constexpr int sharedsamples = 8;

// The scenes the constructor builds and the switcher plays, in play order: the schedule's
// scenes that are not nested, which give the switcher's events.
constexpr std::string_view switched[] = {"opening", "entryway", "dreamscape", "flight", "credits"};
static_assert(std::size(switched) == schedule::toplevel && [] {
    for (unsigned i = 0; i < schedule::toplevel; ++i)
        if (switched[i] != schedule::played[i].name) return false;
    return true;
}(), "demostart's scenes are not the schedule's, in its order");

void releasesharedtargets() {
    sharedcolor = Texture();
    sharedcolor2 = Texture();
    shareddepth = Texture();
}
}  // namespace

bool demostart::exit::sync() {
    quit = true;
    return false;
}

demostart::demostart()
    : timeline_(states.add(std::make_unique<controls::timercontrol>())),
      switcher_(states.add(std::make_unique<controls::control<state>>())) {
    switcher_->addtrigger(-1);
    timeline_->addlistener(switcher_);

    // Scenes are built in reverse order of play.
    std::unique_ptr<state> credits = std::make_unique<::credits>();
    std::unique_ptr<state> flight = std::make_unique<::flight>();
    std::unique_ptr<state> dreamscape = std::make_unique<::dreamscape>();
    std::unique_ptr<state> entryway = std::make_unique<::entryway>();
    std::unique_ptr<state> opening = std::make_unique<::opening>();

    for (auto* item : {&opening, &entryway, &dreamscape, &flight, &credits}) switcher_->additem(std::move(*item));
    switcher_->additem(std::make_unique<exit>());
    // Each scene after the first is switched to at its start, the exit at the end.
    for (const schedule::entry& e : schedule::played)
        if (e.start > 0) timeline_->addevent(float(e.start));
    timeline_->addevent(float(endtime));
}

void demostart::display() { states.display(); }

void demostart::update() { states.update(); }

bool demostart::sync() {
    // The timeline's answer says only that an event fired; whether the frame is drawn is the
    // current scene's answer, false for one just entered that has not stepped yet.
    timeline_->sync();
    return switcher_->sync();
}

void demostart::resize(int width, int height) {
    releasesharedtargets();
    sharedcolor = Texture(sharedsamples, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    sharedcolor2 = Texture(sharedsamples, GL_RGB16F, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    shareddepth = Texture(sharedsamples, GL_DEPTH_COMPONENT24, width, height, GL_TEXTURE_2D_MULTISAMPLE);
    states.resize(width, height);
}

void demostart::enter(state* previous) { states.enter(previous); }

void demostart::leave(state* next) {
    states.leave(next);
    releasesharedtargets();
}

}  // namespace talvo
