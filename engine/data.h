#pragma once
// An animated value: computed on the update thread, published into a scene variable in sync,
// so that display always reads one consistent set of values.
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

// Makes a channel and appends it to list, which owns it.
template <typename T>
data<T>* addchannel(statelist& list, typename data<T>::generatortype generator, T* target) {
    auto channel = std::make_unique<data<T>>(std::move(generator), target);
    list.add(channel.get());
    return channel.release();
}

// Makes a channel and appends it as an item of control, which owns it.
template <typename T>
data<T>* addchannel(controls::control<data<T>>& control, typename data<T>::generatortype generator,
                    T* target) {
    auto channel = std::make_unique<data<T>>(std::move(generator), target);
    control.additem(channel.get());
    return channel.release();
}

}  // namespace talvo
