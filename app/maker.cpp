#include "app/maker.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "app/framereader.h"
#include "app/loop.h"
#include "app/music.h"
#include "app/overlay.h"
#include "app/pngfile.h"
#include "diag/check.h"
#include "diag/exceptions.h"
#include "diag/warn.h"
#include "engine/control.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "engine/timercontrol.h"
#include "gl/program.h"
#include "gl/reload.h"
#include "gl/resource.h"
#include "platform/contexts.h"
#include "platform/filewatch.h"
#include "platform/tickcount.h"
#include "production/demostart.h"
#include "scenes/schedule.h"

namespace talvo {

namespace {

constexpr uint32_t seekstep = 5000;

// How long a still frame waits for events: saves are looked for this often.
constexpr double stillwait = 0.05;

// The production time of the shown picture: the start of the last step it shows.
uint32_t shownmoment() {
    const int32_t shown = int32_t(publishedtime()) - int32_t(steplength);
    return uint32_t(std::max(shown, 0));
}

// The PNG file F12 writes for a picture at `moment` ms: "quellspire-093.275.png".
std::string framefilename(uint32_t moment) {
    char name[48];
    std::snprintf(name, sizeof name, "quellspire-%03u.%03u.png", moment / 1000, moment % 1000);
    return name;
}

bool snippet(const std::string& name) {
    return name == "particles.cl" || (name.size() > 5 && name.compare(name.size() - 5, 5, ".slcl") == 0);
}

// Keeps the last second of a series.
template <typename Sample, typename Time>
void keep(std::deque<Sample>& series, Time now, double ms) {
    series.push_back({now, ms});
    while (!series.empty() && now - series.front().at > std::chrono::seconds(1)) series.pop_front();
}

template <typename Sample>
double median(const std::deque<Sample>& series) {
    if (series.empty()) return 0.0;
    std::vector<double> values;
    for (const Sample& s : series) values.push_back(s.ms);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The shown frame, read back from the window's back buffer and written as the capture reads
// and writes its frames.
void saveframe() {
    framereader reader(windowwidth, windowheight);
    reader.read();
    const std::vector<uint8_t>& rgb = reader.take();
    const std::string name = framefilename(shownmoment());
    try {
        writepng(name, rgb, windowwidth, windowheight);
        std::cout << "Saved " << name << std::endl;
    } catch (const std::exception& e) {
        warn(name + ": cannot write the frame (" + e.what() + ")");
    }
}

}  // namespace

maker::maker() {
    reportsof(primarycontext)->making = this;
    glfwSetKeyCallback(primarycontext, onkey);
    glfwSetWindowRefreshCallback(primarycontext, onrefresh);
    // The directory the program reads its resources from.
    const std::string directory = resourcePath("");
    watch = std::make_unique<platform::filewatch>(directory);
    if (!watch->watching()) warn(directory + ": cannot watch for saves (" + watch->why() + ")");
}

maker::~maker() {
    glfwSetKeyCallback(primarycontext, nullptr);
    glfwSetWindowRefreshCallback(primarycontext, nullptr);
    reportsof(primarycontext)->making = nullptr;
}

void maker::onkey(GLFWwindow* window, int key, int, int action, int) {
    if (action == GLFW_PRESS) reportsof(window)->making->tapped.push_back(key);
}

void maker::onrefresh(GLFWwindow* window) { reportsof(window)->making->exposed = true; }

uint32_t maker::tick() const { return holding ? frozen : platform::tickcount() - heldfor; }

unsigned maker::sceneindex() const { return production->switcher().index; }

void maker::seekto(int64_t target) {
    // A seek builds the production anew from resources/, where a file that does not build
    // would end the run.
    if (!alarms.empty()) {
        warn("No seek while " + resourcePath(alarms.begin()->first) + " does not build: the production is built anew from it");
        return;
    }
    seek = uint32_t(std::clamp<int64_t>(target, 0, demostart::endtime - 1));
}

void maker::hold() {
    frozen = tick();
    holding = true;
    pausemusic();
}

void maker::resume() {
    heldfor = platform::tickcount() - frozen;
    holding = false;
    // The music goes on from the picture's time, which a step taken while held has moved.
    resumemusic(frozen - starttime);
}

void maker::apply(int key) {
    const unsigned scene = std::min<unsigned>(sceneindex(), schedule::toplevel - 1);
    switch (key) {
        case GLFW_KEY_SPACE: holding ? resume() : hold(); break;
        case GLFW_KEY_LEFT: seekto(int64_t(shownmoment()) - seekstep); break;
        case GLFW_KEY_RIGHT: seekto(int64_t(shownmoment()) + seekstep); break;
        case GLFW_KEY_PAGE_UP: seekto(schedule::played[scene == 0 ? 0 : scene - 1].start); break;
        case GLFW_KEY_PAGE_DOWN:
            if (scene + 1 < schedule::toplevel) seekto(schedule::played[scene + 1].start);
            break;
        case GLFW_KEY_HOME: seekto(0); break;
        case GLFW_KEY_PERIOD:
        case GLFW_KEY_KP_DECIMAL:
            if (holding) frozen += steplength;
            break;
        case GLFW_KEY_F1: showing = !showing; break;
        case GLFW_KEY_F12: saving = true; break;
        default: break;
    }
}

// A file's text; false when it cannot be read, which the alarm then says.
bool maker::readsaved(const std::string& name, std::string& text) {
    if (readfile(resourcePath(name), text)) return true;
    alarms[name] = resourcePath(name) + ": cannot be read";
    warn(alarms[name]);
    return false;
}

void maker::rebuilt(int count, const char* what, const std::string& name) {
    alarms.erase(name);
    std::cout << "Rebuilt " << count << " " << what << (count == 1 ? "" : "s") << " from " << resourcePath(name)
              << std::endl;
}

// A saved snippet: every kernel built around it is built anew. A build that fails has printed
// its log (with the file and its lines) and its check line; the kernels stay. True when it
// built.
bool maker::rebuildsnippet(const std::string& name) {
    std::string text;
    if (!readsaved(name, text)) return false;
    if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
        alarms[name] = resourcePath(name) + ": the snippet is empty";
        warn(alarms[name]);
        return false;
    }
    try {
        rebuilt(rebuildfrom(name, text).objects, "kernel", name);
        return true;
    } catch (const Log::CLException&) {
        alarms[name] = resourcePath(name) + ": does not compile";
        return false;
    }
}

// A saved shader, compiled once and linked into every program built from it. A failure keeps
// the programs as they were, says why on standard error with the file and the compiler's
// lines, and stays on the overlay in red until the file builds. True when it built.
bool maker::rebuildshader(const std::string& name) {
    const std::string path = resourcePath(name);
    std::string text;
    if (!readsaved(name, text)) return false;
    try {
        const rebuildcount count = rebuildfrom(name, text);
        if (count.refused == 0) {
            rebuilt(count.objects, "program", name);
            return true;
        }
        alarms[name] = path + ": does not link with the other stages of its programs";
        warn(alarms[name]);
    } catch (const ShaderCompilerException& e) {
        std::istringstream log(e.log);
        alarms[name].clear();
        for (std::string line; std::getline(log, line);) {
            if (line.empty()) continue;
            warn(path + ": " + line);
            if (alarms[name].empty()) alarms[name] = path + ": " + line;
        }
        if (alarms[name].empty()) alarms[name] = path + ": does not compile";
    }
    return false;
}

bool maker::reload() {
    bool changed = false;
    for (const std::string& name : watch->saved()) {
        changed = true;
        if (shaderstage(name)) rebuildshader(name);
        // Held, a kernel's new geometry would wait for the next step: the production is built
        // afresh at the held moment instead, with the snippet it now reads.
        if (snippet(name) && rebuildsnippet(name) && holding) seekto(shownmoment());
    }
    return changed;
}

std::string maker::alarmtext() const {
    std::string text;
    for (const auto& [name, alarm] : alarms) text += (text.empty() ? "" : "\n") + alarm;
    return text;
}

std::string maker::overlaytext() const {
    const uint32_t moment = shownmoment();
    char line[160];
    std::string text;
    std::snprintf(line, sizeof line, "%u.%03u s  %s%s\n", moment / 1000, moment % 1000,
                  demostart::scenenames[sceneindex() % demostart::scenecount], holding ? "  (held)" : "");
    text += line;
    std::snprintf(line, sizeof line, "%.1f fps\n", double(frames.size()));
    text += line;
    std::snprintf(line, sizeof line, "step %.1f ms  display %.1f ms\n", median(steps), median(displays));
    text += line;
    const bool dropping = lastdrop && stopwatch::now() - *lastdrop < std::chrono::seconds(1);
    text += dropping ? "the clock drops steps" : "the clock keeps every step";
    return text;
}

void maker::passstarted(uint32_t from) {
    production = dynamic_cast<demostart*>(current);
    if (!production) throw std::logic_error("maker mode plays the production only");
    // Held, the clock stands where the first step of `from` has run and been synced: the
    // capture's first frame at `from`.
    if (holding) frozen = starttime + firststep(from) + 2 * steplength;
    settling = holding ? maxsteps : 0;
}

maker::frame maker::beforesync() {
    const bool changed = reload();
    // A held picture is complete once the last pass ran no step: the frame before showed them all.
    if (holding && !changed && !exposed && tapped.empty() && !saving && settling == 0 && !seek &&
        lastpass().steps.empty() && frametime == frozen) {
        glfwWaitEventsTimeout(stillwait);
        return frame::still;
    }
    exposed = false;
    const stopwatch::time_point now = stopwatch::now();
    keep(frames, now, 0.0);
    for (double ms : lastpass().steps) keep(steps, now, ms);
    if (lastpass().dropped) lastdrop = now;
    while (!tapped.empty() && !seek) {
        const int key = tapped.front();
        tapped.pop_front();
        apply(key);
    }
    return seek ? frame::seek : frame::draw;
}

void maker::aftersync(bool drawn) {
    displaystart = stopwatch::now();
    // Held, a seek to a scene's start has stepped the scene before it, and its sync has just
    // entered the new one, which has nothing to show before its own first step. As a
    // capture's first frame does, the clock takes the steps that the first picture needs.
    if (!drawn && holding && settling > 0 && frametime == frozen &&
        int32_t(frametime - prevupdatetime) <= int32_t(steplength)) {
        frozen += steplength;
        --settling;
    }
}

void maker::afterdisplay() {
    settling = 0;
    // Held, a frame is saved once it shows every step up to the clock.
    if (saving && (!holding || int32_t(frametime - prevupdatetime) <= int32_t(steplength))) {
        saving = false;
        saveframe();
    }
    if (showing) {
        // The display's GL work counts, not only its calls.
        GLCHECKED(glFinish());
        const stopwatch::time_point now = stopwatch::now();
        keep(displays, now, std::chrono::duration<double, std::milli>(now - displaystart).count());
    }
    // A file that failed to build is shown whether the overlay is on or not.
    if (!showing && alarms.empty()) return;
    if (!drawn) drawn = std::make_unique<overlay>();
    drawn->draw(showing ? overlaytext() : "", alarmtext());
}

std::optional<uint32_t> maker::takeseek() { return std::exchange(seek, std::nullopt); }

}  // namespace talvo
