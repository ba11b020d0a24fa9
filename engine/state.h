#pragma once
// The interface of everything that takes part in the loop: the production, each scene,
// each timeline and switcher, each animated value and each generated-geometry object.
#include <vector>

namespace talvo {

class state {
public:
    virtual ~state() = default;
    // Render thread, after sync returned true, primary context current.
    virtual void display() {}
    // Update thread, once per 25 ms step, shared lock held.
    virtual void update() {}
    // Render thread, start of every frame, shared lock held: publish, fire events, switch.
    // False means this frame is not drawn.
    virtual bool sync() { return true; }
    virtual void resize(int /*width*/, int /*height*/) {}
    virtual void enter(state* /*previous*/) {}
    virtual void leave(state* /*next*/) {}
};

// Forwards every operation to its children, first to last; owns them.
class statelist : public state {
public:
    statelist() = default;
    statelist(const statelist&) = delete;
    statelist& operator=(const statelist&) = delete;
    ~statelist() override;

    void add(state* child) { children.push_back(child); }

    void display() override;
    void update() override;
    // Syncs every child (no early stop); true if any child answered true.
    bool sync() override;
    void resize(int width, int height) override;
    void enter(state* previous) override;
    void leave(state* next) override;

    std::vector<state*> children;
};

// The state the loop drives; null before start-up and after the loop.
extern state* current;

// Replaces current: the old state leaves, the new one is resized to the window, then entered.
void setcurrent(state* next);
// The window-size callback: sets the viewport, records the size, resizes current.
void onresize(int width, int height);
// Sets the GL viewport for onresize. The engine core makes no GL calls itself; start-up
// installs the real setter, and without one (engine tests) nothing is called.
extern void (*setviewport)(int width, int height);

}  // namespace talvo
