#pragma once
// A channel, as the docs call it: an animated value computed on the update thread and
// published into a scene variable in sync, so that display always reads one consistent set of
// values. A control of channels (control.h) switches between them.
#include <functional>
#include <memory>
#include <utility>

#include "engine/control.h"
#include "engine/state.h"

namespace talvo {

template <typename T>
class data : public state {
public:
    using generatortype = std::function<T()>;

    // The target is not written before the first sync or enter.
    data(generatortype make, T* into)
        : value(make()), next(value), target(into), generator(std::move(make)) {}

    void update() override { next = generator(); }
    bool sync() override {
        *target = next;
        value = *target;
        return true;
    }
    // A channel that becomes current publishes a fresh value in the same frame.
    void enter(state* /*previous*/) override {
        update();
        sync();
    }

    T value;              // last published
    T next;               // computed by the latest update
    T* target;            // not owned
    generatortype generator;
};

// Makes a channel and hands it to its owner: a statelist (as a child) or a
// control<data<T>> (as an item).
template <typename T, typename Owner>
data<T>* addchannel(Owner& owner, typename data<T>::generatortype generator, T* target) {
    return adopt(owner, std::make_unique<data<T>>(std::move(generator), target));
}

}  // namespace talvo
