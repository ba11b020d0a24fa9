#include "app/production.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/loop.h"
#include "app/maker.h"
#include "app/music.h"
#include "cl/kerneltemplates.h"
#include "diag/check.h"
#include "diag/fatal.h"
#include "diag/warn.h"
#include "production/demostart.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "gl/resource.h"
#include "platform/contexts.h"
#include "platform/tickcount.h"

namespace talvo {

namespace {

// GLFW's reason for what just failed, if it gave one: GLFW keeps each thread's last error
// whether or not a callback hears it. While the window opens no callback does, so that the
// start-up's own line comes first when an error makes it fail, and the reason last.
std::string glfwreason() {
    const char* description = nullptr;
    if (glfwGetError(&description) == GLFW_NO_ERROR || !description) return "";
    return std::string("GLFW: ") + description;
}

// Once the window is open, GLFW's errors are said as they come.
void onglfwerror(int, const char* description) { warn(std::string("GLFW: ") + description); }

// The start-up's failures end the run with their line on standard output, then why on
// standard error: what GLFW said, and `reason`, the start-up's own.
[[noreturn]] void abortstartup(const char* message, const std::string& reason = "") {
    std::vector<std::string> reasons;
    for (const std::string& r : {glfwreason(), reason})
        if (!r.empty()) reasons.push_back(r);
    if (reasons.empty()) fatal(std::cout, message);
    std::cout << message << std::endl;
    for (size_t i = 0; i + 1 < reasons.size(); ++i) warn(reasons[i]);
    fatal(reasons.back());
}

[[noreturn]] void windowfailure(const std::string& reason = "") {
    abortstartup("glfwOpenWindow failed, aborting.", reason);
}

// Without a display or a window nothing more can be drawn. X refusing a window that is being
// made is a window that cannot be opened.
[[noreturn]] void refusedwindow(const std::string& why) {
    windowfailure("The display refused the window (" + why + ")");
}

[[noreturn]] void lostdisplay(const std::string& why) {
    fatal("Lost the window or its display (" + why + "), aborting.");
}

std::string windowsize(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// The window's hints: its samples, the engine's context hints and the framebuffer's depths,
// the colours as the desktop has them.
void windowhints(const runconfig& config, const GLFWvidmode* desktop) {
    glfwWindowHint(GLFW_SAMPLES, config.samples);
    platform::contexthints(config.glmajor, config.glminor);
    if (desktop) {
        glfwWindowHint(GLFW_RED_BITS, desktop->redBits);
        glfwWindowHint(GLFW_GREEN_BITS, desktop->greenBits);
        glfwWindowHint(GLFW_BLUE_BITS, desktop->blueBits);
    }
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
}

// Opens the window and the secondary context that shares its objects, and leaves the window's
// context current. Either failing ends the start-up.
GLFWwindow* createwindow(const runconfig& config, GLFWmonitor* monitor, const GLFWvidmode* desktop) {
    int width = config.width, height = config.height;
    if (config.windowmode == runconfig::desktopfullscreen && desktop) {
        width = desktop->width;
        height = desktop->height;
    }
    // A full-screen window cannot be larger than the screen, and X refuses to draw into one
    // that is (the X library then ends the process with its own message).
    if (config.windowmode == runconfig::fullscreen && desktop && (width > desktop->width || height > desktop->height)) {
        warn("A " + std::to_string(width) + "x" + std::to_string(height) + " window does not fit the " +
             std::to_string(desktop->width) + "x" + std::to_string(desktop->height) +
             " screen; using the screen's size.");
        width = std::min(width, desktop->width);
        height = std::min(height, desktop->height);
    }
    // GLFW asserts on sizes below 1 rather than failing, and X would wrap larger ones round.
    if (std::min(width, height) < 1 || std::max(width, height) > platform::maxwindowside)
        // OpenGL's own limit, often lower, is known only once a context exists (verifysize).
        windowfailure("A " + windowsize(width, height) + " window cannot be opened: each side must be 1 to " +
                      std::to_string(platform::maxwindowside) +
                      " pixels, the window system's limit; OpenGL's own, checked once the window is open, may be "
                      "lower.");
    GLFWwindow* window =
        glfwCreateWindow(width, height, config.title.c_str(), config.windowmode != runconfig::windowed ? monitor : nullptr, nullptr);
    if (!window) {
        const char* description = nullptr;
        const int code = glfwGetError(&description);
        std::string why = description ? std::string("GLFW: ") + description : "";
        // A driver without OpenGL 3.3 core fails the context rather than the window.
        if (code == GLFW_VERSION_UNAVAILABLE || why.find("context") != std::string::npos)
            why += std::string(why.empty() ? "" : "\n") +
                   "Quellspire needs OpenGL 3.3 core: use a driver that offers it (Mesa's does, in software)";
        windowfailure(why);
    }
    primarycontext = window;

    secondarycontext = platform::createsecondarycontext(primarycontext, config.glmajor, config.glminor);
    if (!secondarycontext) abortstartup("Could not create secondary rendering context, aborting.");
    // GLFW shares objects at creation; this proves that it did.
    if (!platform::contextsshare(primarycontext, secondarycontext))
        abortstartup("Could not share rendering contexts, aborting.");
    glfwMakeContextCurrent(primarycontext);
    return window;
}

// libepoxy resolves GL entry points on first use; what remains of loading them is the version
// test on the current context's GL_VERSION.
void verifyversion(const runconfig& config) {
    int major = 0, minor = 0;
    if (!parseglversion(reinterpret_cast<const char*>(glGetString(GL_VERSION)), major, minor) ||
        !supportsversion(major, minor, config.glmajor, config.glminor))
        abortstartup("gl3wInit failed, aborting.");
}

// Every frame passes through targets of the window's size: a side beyond what this GL can
// draw into would end the run at the first of them.
void verifysize(GLFWwindow* window) {
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    GLint texture = 0, viewport[2] = {0, 0};
    GLCHECKED(glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture));
    GLCHECKED(glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport));
    const int most = std::min({texture, viewport[0], viewport[1]});
    if (std::max(width, height) > most)
        windowfailure("A " + windowsize(width, height) + " window is too large: OpenGL draws at most " +
                      std::to_string(most) + " pixels a side here.");
}

// The size and close callbacks, and the size the window opened with.
void setcallbacks(GLFWwindow* window) {
    // The window owns its reports until closewindow.
    glfwSetWindowUserPointer(window, new windowreports);
    glfwSetWindowSizeCallback(window, [](GLFWwindow* w, int width, int height) { reportsof(w)->size = {width, height}; });
    // GLFW 3 does not report the size on registration; the window may not have the size it
    // was asked for (a full-screen window takes the monitor's mode).
    int width = 0, height = 0;
    glfwGetWindowSize(window, &width, &height);
    onresize(width, height);
    glfwSetWindowCloseCallback(window, [](GLFWwindow*) { onclose(); });
    // A tap of Escape shorter than a slow frame still reaches the next frame's key test.
    glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
}

// The start-up's report of the context it got, between checks that nothing failed on the way.
void reportcontext() {
    glcheck("");
    std::cout << "gl3w initialized successfully." << std::endl;
    std::cout << "OpenGL " << glGetString(GL_VERSION) << " running on " << glGetString(GL_VENDOR) << " "
              << glGetString(GL_RENDERER) << std::endl;
    std::cout << "GLSL version: " << glGetString(GL_SHADING_LANGUAGE_VERSION) << std::endl;
    glcheck("");
}

// A viewer on a software rasteriser sees the production stutter; one line says why and what
// renders it at full quality instead.
void noticesoftwarerenderer() {
    const char* renderer = nullptr;
    GLCHECKED(renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    if (softwarerenderer(renderer))
        warn(std::string("Note: OpenGL renders in software here (") + renderer +
             "): the production will not keep real time; quellspire-capture renders it at full quality.");
}

}  // namespace

void resetglobals() {
    current = nullptr;
    quit = false;
    starttime = frametime = updatetime = prevupdatetime = 0;
    primarycontext = secondarycontext = nullptr;
    setviewport = [](int width, int height) { glViewport(0, 0, width, height); };
}

bool parseglversion(const char* version, int& major, int& minor) {
    if (!version || !std::isdigit(static_cast<unsigned char>(*version))) return false;
    char* rest = nullptr;
    major = static_cast<int>(std::strtol(version, &rest, 10));
    minor = 0;
    if (*rest) minor = static_cast<int>(std::strtol(rest + 1, nullptr, 10));
    return major >= 3;
}

bool supportsversion(int major, int minor, int glmajor, int glminor) {
    return (major == glmajor && minor >= glminor) || major > glmajor;
}

void openwindow(const runconfig& config) {
    windowwidth = config.width;
    windowheight = config.height;
    glfwSetErrorCallback(nullptr);
    if (!glfwInit()) windowfailure();
    platform::handledisplayerrors(refusedwindow);
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* desktop = monitor ? glfwGetVideoMode(monitor) : nullptr;

    windowhints(config, desktop);
    GLFWwindow* window = createwindow(config, monitor, desktop);
    verifyversion(config);
    verifysize(window);
    platform::handledisplayerrors(lostdisplay);
    // What GLFW said on the way to a window that opened.
    if (const std::string said = glfwreason(); !said.empty()) warn(said);
    glfwSetErrorCallback(onglfwerror);
    glfwSetWindowTitle(window, config.title.c_str());
    glfwSwapInterval(config.vsync ? 1 : 0);
    setcallbacks(window);
    reportcontext();
}

void closewindow() {
    // OpenCL lets go of what it shares with GL before the GL contexts go.
    dropprogramcaches();
    delete reportsof(primarycontext);
    glfwDestroyWindow(secondarycontext);
    secondarycontext = nullptr;
    glfwTerminate();
    primarycontext = nullptr;
}

bool softwarerenderer(const char* renderer) {
    if (!renderer) return false;
    std::string name(renderer);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* rasteriser : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
        if (name.find(rasteriser) != std::string::npos) return true;
    return false;
}

void playproduction(const std::function<void(demostart&)>& body) {
    // Building runs every channel once, at the clocks' time: a pass built after another
    // (a loop, a seek) starts from the clocks the first pass and the capture are built at.
    starttime = frametime = updatetime = prevupdatetime = 0;
    auto production = std::make_unique<demostart>();
    setcurrent(production.get());
    try {
        body(*production);
    } catch (...) {
        (void)production.release();
        throw;
    }
    setcurrent(nullptr);
}

void runproduction(runconfig config) {
    config.soundfile = resourcePath(config.soundfile);
    resetglobals();
    if (config.glmajor < 3 || (config.glmajor == 3 && config.glminor < 1))
        abortstartup("Requested OpenGL version lacks support for shared contexts, aborting.");
    if (!config.mute) openmusic(config.soundfile);
    openwindow(config);
    noticesoftwarerenderer();

    // Blocks of 1 MB and more (the clouds, vertex arrays, staging copies) are mapped and
    // unmapped one by one. glibc would otherwise raise that threshold after the first large
    // free and serve later ones from the heap, where each pass's new production leaves holes:
    // about 46 MB more at each of the first twenty passes before the figure levels.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    std::unique_ptr<maker> making = config.make ? std::make_unique<maker>() : nullptr;
    // Each pass is a production of its own, built afresh: the scenes are made to be entered
    // once. The first pass starts at `from`, any later one at `restart`, the beginning, or, in
    // maker mode, where a seek asked. Only a pass that the production itself ended (quit set,
    // not by the viewer) or a seek is followed by another.
    std::optional<uint32_t> next = config.from;
    while (next) {
        const uint32_t from = *std::exchange(next, std::nullopt);
        playproduction([&](demostart&) {
            // Building the scenes leaves the compilers' scratch strewn through the heap, below
            // what stays. Given back before the pass plays, a loop's resident memory stays level
            // pass after pass instead of creeping up.
            malloc_trim(0);
            mainloop(from, making.get());
            if (const std::optional<uint32_t> seek = making ? making->takeseek() : std::nullopt)
                next = seek;
            else if (config.loop && quit && !stoppedbyviewer())
                next = config.restart;
            // Silent while the next pass is built; it starts its music itself.
            if (next) pausemusic();
        });
        // The torn-down production's blocks lie free between what outlives it, and glibc keeps
        // them resident; the next build would fill only some of those holes.
        malloc_trim(0);
        quit = false;
    }
    making.reset();
    closewindow();
    releasemusic();
    std::cout << "Talvo de-initialized." << std::endl;
}

}  // namespace talvo
