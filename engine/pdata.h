#pragma once
// An animated value written straight into its target on the update thread, without the sync
// hand-over. Only for targets that display never reads, such as the update-side transform of a
// geometry tree, which the tree publishes in its own sync.
#include <functional>
#include <memory>
#include <utility>

#include "engine/control.h"
#include "engine/state.h"

namespace talvo {

template <typename T>
class pdata : public state {
public:
    using generatortype = std::function<T()>;

    // The target is not written before the first update or enter.
    pdata(generatortype make, T* into) : value(make()), target(into), generator(std::move(make)) {}

    void update() override { *target = generator(); }
    void enter(state* /*previous*/) override {
        update();
        sync();
    }

    T value;   // the generator's result at creation
    T* target; // not owned
    generatortype generator;
};

// Makes a direct channel and appends it to list, which owns it.
template <typename T>
pdata<T>* addpchannel(statelist& list, typename pdata<T>::generatortype generator, T* target) {
    auto channel = std::make_unique<pdata<T>>(std::move(generator), target);
    list.add(channel.get());
    return channel.release();
}

// Makes a direct channel and appends it as an item of control, which owns it.
template <typename T>
pdata<T>* addpchannel(controls::control<pdata<T>>& control,
                      typename pdata<T>::generatortype generator, T* target) {
    auto channel = std::make_unique<pdata<T>>(std::move(generator), target);
    control.additem(channel.get());
    return channel.release();
}

}  // namespace talvo
