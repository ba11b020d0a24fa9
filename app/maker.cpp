#include "app/maker.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "app/loop.h"
#include "app/music.h"
#include "app/overlay.h"
#include "cl/curvegenerator.h"
#include "cl/particles.h"
#include "cl/pointgenerator.h"
#include "diag/check.h"
#include "diag/exceptions.h"
#include "diag/warn.h"
#include "engine/control.h"
#include "engine/globals.h"
#include "engine/timercontrol.h"
#include "gl/program.h"
#include "gl/resource.h"
#include "gl/shader.h"
#include "platform/contexts.h"
#include "platform/filewatch.h"
#include "platform/tickcount.h"
#include "production/demostart.h"

namespace talvo {

namespace {

constexpr uint32_t seekstep = 5000;

using stopwatch = std::chrono::steady_clock;

// All of it render thread only.
bool on = false;
// The keys tapped since they were last applied, in order: a tap shorter than a frame counts.
std::deque<int> tapped;
// The hold: while held, the clock reads `frozen`; otherwise the tick counter less the time
// spent held.
bool holding = false;
uint32_t frozen = 0;
uint32_t heldfor = 0;
std::optional<uint32_t> seek;
// Held after a seek: steps the clock may still take for the first picture (see notdrawn).
int settling = 0;
bool saving = false;
bool showing = false;
demostart* production = nullptr;
// The start of every scene, in play order: 0 and each event of the schedule before its end,
// taken before the pass fires (and so consumes) any of them.
std::vector<uint32_t> starts;
std::unique_ptr<overlay> drawn;
// Saves in resources/, and what the last save of each file that failed to build said.
std::unique_ptr<platform::filewatch> watch;
std::map<std::string, std::string> alarms;

// The last second's frames, update steps and displays, for the overlay.
struct sample {
    stopwatch::time_point at;
    double ms;
};
std::deque<sample> frames, steps, displays;
std::optional<stopwatch::time_point> lastdrop;
stopwatch::time_point displaystart;

// The production time of the shown picture: the start of the last step it shows.
uint32_t shownmoment() {
    const int32_t shown = int32_t(prevupdatetime - starttime) - int32_t(steplength);
    return uint32_t(std::max(shown, 0));
}

// The PNG file F12 writes for a picture at `moment` ms: "quellspire-093.275.png".
std::string framefilename(uint32_t moment) {
    char name[48];
    std::snprintf(name, sizeof name, "quellspire-%03u.%03u.png", moment / 1000, moment % 1000);
    return name;
}

uint32_t makertick() { return holding ? frozen : platform::tickcount() - heldfor; }

void onkey(GLFWwindow*, int key, int, int action, int) {
    if (action == GLFW_PRESS) tapped.push_back(key);
}

unsigned sceneindex() { return production->switcher().index; }

void seekto(int64_t target) {
    // A seek builds the production anew from resources/, where a file that does not build
    // would end the run.
    if (!alarms.empty()) {
        warn("No seek while " + resourcePath(alarms.begin()->first) + " does not build: the production is built anew from it");
        return;
    }
    seek = uint32_t(std::clamp<int64_t>(target, 0, demostart::endtime - 1));
    quit = true;
}

void hold() {
    frozen = makertick();
    holding = true;
    pausemusic();
}

void resume() {
    heldfor = platform::tickcount() - frozen;
    holding = false;
    // The music goes on from the picture's time, which a step taken while held has moved.
    resumemusic(frozen - starttime);
}

void apply(int key) {
    const unsigned scene = std::min<unsigned>(sceneindex(), unsigned(starts.size()) - 1);
    switch (key) {
        case GLFW_KEY_SPACE: holding ? resume() : hold(); break;
        case GLFW_KEY_LEFT: seekto(int64_t(shownmoment()) - seekstep); break;
        case GLFW_KEY_RIGHT: seekto(int64_t(shownmoment()) + seekstep); break;
        case GLFW_KEY_PAGE_UP: seekto(starts[scene == 0 ? 0 : scene - 1]); break;
        case GLFW_KEY_PAGE_DOWN:
            if (scene + 1 < starts.size()) seekto(starts[scene + 1]);
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

// The GL stage a shader file holds, by its extension; 0 for any other file.
GLenum stageof(const std::string& name) {
    const std::string extension = name.substr(std::min(name.size(), name.rfind('.')));
    if (extension == ".vert") return GL_VERTEX_SHADER;
    if (extension == ".geom") return GL_GEOMETRY_SHADER;
    if (extension == ".frag") return GL_FRAGMENT_SHADER;
    return 0;
}

// A file's text; false when it cannot be read, which the alarm then says.
bool readsaved(const std::string& name, std::string& text) {
    std::ifstream in(resourcePath(name), std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    text = read.str();
    if (in) return true;
    alarms[name] = resourcePath(name) + ": cannot be read";
    warn(alarms[name]);
    return false;
}

void rebuilt(int count, const char* what, const std::string& name) {
    alarms.erase(name);
    std::cout << "Rebuilt " << count << " " << what << (count == 1 ? "" : "s") << " from " << resourcePath(name)
              << std::endl;
}

// A saved snippet: every generator's kernel built around it is built anew. A build that fails
// has printed its log (with the file and its lines) and its check line; the kernels stay.
void rebuildsnippet(const std::string& name) {
    std::string text;
    if (!readsaved(name, text)) return;
    if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
        alarms[name] = resourcePath(name) + ": the snippet is empty";
        warn(alarms[name]);
        return;
    }
    try {
        if (name == "particles.cl")
            rebuilt(particles::rebuild(text), "kernel", name);
        else
            rebuilt(CurveGenerator::rebuild(name, text) + PointGenerator::rebuild(name, text), "kernel", name);
    } catch (const Log::CLException&) {
        alarms[name] = resourcePath(name) + ": does not compile";
    }
}

// A saved shader, compiled once and linked into every program built from it. A failure keeps
// the programs as they were, says why on standard error with the file and the compiler's
// lines, and stays on the overlay in red until the file builds.
void rebuildshader(const std::string& name, GLenum type) {
    const std::string path = resourcePath(name);
    std::string text;
    if (!readsaved(name, text)) return;
    try {
        rebuilt(rebuildprograms(name, Shader(type, text, name)), "program", name);
    } catch (const ShaderCompilerException& e) {
        std::istringstream log(e.log);
        alarms[name].clear();
        for (std::string line; std::getline(log, line);) {
            if (line.empty()) continue;
            warn(path + ": " + line);
            if (alarms[name].empty()) alarms[name] = path + ": " + line;
        }
        if (alarms[name].empty()) alarms[name] = path + ": does not compile";
    } catch (const ProgramLinkerException&) {
        alarms[name] = path + ": does not link with the other stages of its programs";
        warn(alarms[name]);
    }
}

void reload() {
    if (!watch) return;
    for (const std::string& name : watch->saved()) {
        if (const GLenum type = stageof(name)) rebuildshader(name, type);
        if (name == "particles.cl" || (name.size() > 5 && name.compare(name.size() - 5, 5, ".slcl") == 0))
            rebuildsnippet(name);
    }
}

std::string alarmtext() {
    std::string text;
    for (const auto& [name, alarm] : alarms) text += (text.empty() ? "" : "\n") + alarm;
    return text;
}

// Keeps the last second of a series.
void keep(std::deque<sample>& series, stopwatch::time_point now, double ms) {
    series.push_back({now, ms});
    while (!series.empty() && now - series.front().at > std::chrono::seconds(1)) series.pop_front();
}

double median(const std::deque<sample>& series) {
    if (series.empty()) return 0.0;
    std::vector<double> values;
    for (const sample& s : series) values.push_back(s.ms);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The shown frame, read back from the window's back buffer, top row first.
void saveframe() {
    const int width = windowwidth, height = windowheight;
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data()));
    const std::string name = framefilename(shownmoment());
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    // GL's rows run bottom to top: a negative stride writes them top to bottom.
    const png_int_32 stride = -png_int_32(width) * 3;
    if (png_image_write_to_file(&image, name.c_str(), 0, pixels.data(), stride, nullptr))
        std::cout << "Saved " << name << std::endl;
    else
        warn(name + ": cannot write the frame (" + image.message + ")");
}

std::string overlaytext() {
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

}  // namespace

void startmaking() {
    on = true;
    gettickcount = makertick;
    glfwSetKeyCallback(primarycontext, onkey);
    // The directory the program reads its resources from.
    const std::string directory = resourcePath("");
    watch = std::make_unique<platform::filewatch>(directory);
    if (!watch->watching()) warn(directory + ": cannot watch for saves (" + watch->why() + ")");
}

bool making() { return on; }
bool held() { return holding; }

void makepass(demostart& next) {
    production = &next;
    starts = {0};
    for (float ms : production->timeline().events)
        if (uint32_t(ms) < demostart::endtime) starts.push_back(uint32_t(ms));
}

void clockstarted(uint32_t from) {
    // Held, the clock stands where the first step of `from` has run and been synced: the
    // capture's first frame at `from`.
    if (holding) frozen = starttime + firststep(from) + 2 * steplength;
    settling = holding ? maxsteps : 0;
}

void notdrawn() {
    // Held, a seek to a scene's start has stepped the scene before it, and its sync has just
    // entered the new one, which has nothing to show before its own first step. As a
    // capture's first frame does, the clock takes the steps that the first picture needs.
    if (holding && settling > 0 && frametime == frozen && int32_t(frametime - prevupdatetime) <= int32_t(steplength)) {
        frozen += steplength;
        --settling;
    }
}

void applykeys() {
    const stopwatch::time_point now = stopwatch::now();
    keep(frames, now, 0.0);
    for (double ms : lastpass().steps) keep(steps, now, ms);
    if (lastpass().dropped) lastdrop = now;
    reload();
    while (!tapped.empty() && !seek) {
        const int key = tapped.front();
        tapped.pop_front();
        apply(key);
    }
}

void beforedisplay() { displaystart = stopwatch::now(); }

void afterdisplay() {
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

std::optional<uint32_t> takeseek() { return std::exchange(seek, std::nullopt); }

void stopmaking() {
    drawn.reset();
    watch.reset();
}

}  // namespace talvo
