#pragma once
// Maker mode (--make): the keys a maker uses while the production plays. Space holds and
// resumes picture and music together, Left and Right seek 5 s, Page Up and Page Down go to the
// previous or next scene's start, Home to 0, '.' runs one 25 ms step while held, F1 shows the
// overlay, F12 saves the shown frame as a PNG. Everything here runs on the render thread.
//
// A seek means what --from means: the pass ends and the production is built afresh from the
// new time (the scenes are made to be entered once), so the picture is the one a capture
// started there shows, and the music starts there sample-exact.
//
// Shaders and snippets saved in resources/ are rebuilt at the next frame, between update
// passes, into every program and kernel built from them; one that does not build keeps the
// old code, says why on standard error and stays on the picture in red until a good save.
// A snippet saved while held is shown at once: the production is built afresh at the held
// moment, as a seek there does. A held picture that nothing changes is not drawn again.
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct GLFWwindow;

namespace talvo {

class demostart;
class overlay;
namespace platform {
class filewatch;
}

// What an update pass did: how long each of its steps took, in ms, and whether it dropped a
// backlog. Written by the pass, read by the render thread after it.
struct passfigures {
    std::vector<double> steps;
    bool dropped = false;
};

class maker {
public:
    // Takes the window's keys and watches resources/ for saves; the window must be open.
    maker();
    ~maker();
    maker(const maker&) = delete;
    maker& operator=(const maker&) = delete;

    // The clock of a run in maker mode: the tick counter less the time spent held; it stands
    // while held.
    uint32_t tick() const;
    bool held() const { return holding; }

    // What the loop does with a frame.
    enum class frame {
        draw,  // sync and draw it
        seek,  // end the pass: a seek asked for another
        still  // skip it: the held picture is complete and nothing changed
    };

    // When a pass starts, its clock just started at `from`, the production current: a held run
    // shows the moment `from` at once, as a capture started there shows it in its first frame.
    void passstarted(uint32_t from);
    // At the frame's hand-over, before its sync: the saves and the keys tapped since the last
    // frame take effect. A seek is kept for takeseek; the keys after it wait for the next pass.
    // A still frame has waited briefly for events, so that a held run costs next to nothing.
    frame beforesync();
    // After the frame's sync, `drawn` its answer, before the frame's time stamp is taken.
    void aftersync(bool drawn);
    // After the frame's display, before it is shown: saves it if F12 asked for it, then draws
    // the overlay over it when it is on.
    void afterdisplay();
    // The time a seek asked for, once; nothing when the pass ended otherwise.
    std::optional<uint32_t> takeseek();
    // Where the update pass in flight writes its figures; beforesync reads them.
    passfigures& lastpass() { return figures; }

private:
    using stopwatch = std::chrono::steady_clock;
    struct sample {
        stopwatch::time_point at;
        double ms;
    };

    void apply(int key);
    void seekto(int64_t target);
    void hold();
    void resume();
    unsigned sceneindex() const;
    std::string overlaytext() const;
    std::string alarmtext() const;
    // The saves since the last frame, rebuilt; true when one changed the picture.
    bool reload();
    bool rebuildsnippet(const std::string& name);
    bool rebuildshader(const std::string& name);
    bool readsaved(const std::string& name, std::string& text);
    void rebuilt(int count, const char* what, const std::string& name);
    static void onkey(GLFWwindow* window, int key, int scancode, int action, int mods);
    static void onrefresh(GLFWwindow* window);

    // The keys tapped since they were last applied, in order: a tap shorter than a frame counts.
    std::deque<int> tapped;
    // While held, the clock reads `frozen`; otherwise the tick counter less the time spent held.
    bool holding = false;
    uint32_t frozen = 0;
    uint32_t heldfor = 0;
    std::optional<uint32_t> seek;
    // Held after a seek: steps the clock may still take for the first picture (see aftersync).
    int settling = 0;
    bool saving = false;
    bool showing = false;
    // The window needs drawing again though nothing changed (uncovered, resized).
    bool exposed = false;
    demostart* production = nullptr;
    std::unique_ptr<overlay> drawn;
    std::unique_ptr<platform::filewatch> watch;
    // What the last save of each file that failed to build said.
    std::map<std::string, std::string> alarms;
    // The last second's frames, update steps and displays, for the overlay.
    std::deque<sample> frames, steps, displays;
    std::optional<stopwatch::time_point> lastdrop;
    passfigures figures;
    stopwatch::time_point displaystart;
};

}  // namespace talvo
