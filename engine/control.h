#pragma once
// A switcher: owns a list of states and forwards every operation to the current one; the
// events it listens for step it to the next item, wrapping after the last.
#include <set>
#include <vector>

#include "engine/globals.h"
#include "engine/listener.h"
#include "engine/state.h"

namespace talvo {
namespace controls {

template <typename T>
class control : public listener, public state {
public:
    control() = default;
    // Owns its items: a copy would delete them twice.
    control(const control&) = delete;
    control& operator=(const control&) = delete;
    ~control() override {
        for (T* item : items) delete item;
    }

    // Ownership passes to the control.
    void additem(T* item) { items.push_back(item); }
    // An event index that makes the control advance; -1 means every event.
    void addtrigger(int trigger) { triggers.insert(trigger); }

    void notify(int i) override {
        if (triggers.count(-1) || triggers.count(i)) advance(index + 1);
    }

    void display() override {
        if (T* item = currentitem()) item->display();
    }
    void update() override {
        if (T* item = currentitem()) item->update();
    }
    // A control without items has nothing to draw.
    bool sync() override {
        T* item = currentitem();
        return item ? item->sync() : false;
    }
    void resize(int width, int height) override {
        if (T* item = currentitem()) item->resize(width, height);
    }
    // The current item is told the state that preceded the control itself.
    void enter(state* previous) override {
        active = true;
        if (T* item = currentitem()) item->enter(previous);
    }
    void leave(state* next) override {
        active = false;
        if (T* item = currentitem()) item->leave(next);
    }

    // Makes items[newindex % size] current. While active, the outgoing item leaves (told the
    // incoming one), then the incoming one is resized to the window and entered (told the
    // outgoing one). While inactive only the index moves: entering the control catches up.
    void advance(unsigned newindex) {
        T* previousitem = currentitem();
        if (active && previousitem) previousitem->leave(itemat(newindex));
        index = newindex;
        if (active) {
            resize(windowwidth, windowheight);
            if (T* item = currentitem()) item->enter(previousitem);
        }
    }

    // Null while the control has no items.
    T* currentitem() const { return itemat(index); }

    std::vector<T*> items;
    std::set<int> triggers;
    unsigned index = 0;
    bool active = false;

private:
    T* itemat(unsigned i) const { return items.empty() ? nullptr : items[i % items.size()]; }
};

}  // namespace controls

// Hands an owned state to its owner: a statelist takes it as a child, a control as an item.
inline void adopt(statelist& owner, state* child) { owner.add(child); }
template <typename T>
void adopt(controls::control<T>& owner, T* item) {
    owner.additem(item);
}

}  // namespace talvo
