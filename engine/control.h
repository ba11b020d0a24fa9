#pragma once
// A switcher, as the docs call it: owns a list of states and forwards every operation to the
// current one; the events it listens for step it to the next item, wrapping after the last.
#include <memory>
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
    // Takes ownership and returns the item for wiring. A null item is a slot that does nothing.
    template <typename U>
    U* additem(std::unique_ptr<U> item) {
        U* raw = item.get();
        items.push_back(std::move(item));
        return raw;
    }
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

    std::vector<std::unique_ptr<T>> items;
    std::set<int> triggers;
    unsigned index = 0;
    bool active = false;

private:
    T* itemat(unsigned i) const { return items.empty() ? nullptr : items[i % items.size()].get(); }
};

}  // namespace controls

// Hands an owned state to its owner: a statelist takes it as a child, a control as an item.
template <typename U>
U* adopt(statelist& owner, std::unique_ptr<U> child) {
    return owner.add(std::move(child));
}
template <typename T, typename U>
U* adopt(controls::control<T>& owner, std::unique_ptr<U> item) {
    return owner.additem(std::move(item));
}

}  // namespace talvo
