#pragma once
// The interface of everything that takes part in the loop: the production, each scene,
// each timeline and switcher, each animated value and each generated-geometry object.
#include <memory>
#include <vector>

namespace talvo {

class state {
public:
    virtual ~state() = default;
    // Render thread, after sync returned true, primary context current.
    virtual void display() {}
    // Update thread, once per 25 ms step, never beside sync (they meet at the frame's hand-over).
    virtual void update() {}
    // Render thread, start of every frame, no update running: publish, fire events, switch.
    // False means this frame is not drawn.
    virtual bool sync() { return true; }
    virtual void resize(int /*width*/, int /*height*/) {}
    virtual void enter(state* /*previous*/) {}
    virtual void leave(state* /*next*/) {}
};

// Forwards every operation to its children, first to last; owns them.
class statelist : public state {
public:
    // Takes ownership and returns the child for wiring (listeners, targets).
    template <typename T>
    T* add(std::unique_ptr<T> child) {
        T* raw = child.get();
        children.push_back(std::move(child));
        return raw;
    }
    // Destroys every child, first to last.
    void clear();
    ~statelist() override { clear(); }

    void display() override;
    void update() override;
    // Syncs every child (no early stop); true if any child answered true.
    bool sync() override;
    void resize(int width, int height) override;
    void enter(state* previous) override;
    void leave(state* next) override;

    std::vector<std::unique_ptr<state>> children;
};

// The state the loop drives; null before start-up and after the loop.
extern state* current;

// Replaces current: the old state leaves, the new one is resized to the window, then entered.
void setcurrent(state* next);
// Publishes a window size: sets the viewport, records the size, resizes current. Called only
// while no update pass runs (start-up, setcurrent, the frame's sync), so that the update
// thread sees the size as the last sync published it.
void onresize(int width, int height);
// Sets the GL viewport for onresize. The engine core makes no GL calls itself; start-up
// installs the real setter, and without one (engine tests) nothing is called.
extern void (*setviewport)(int width, int height);

}  // namespace talvo
