#pragma once
// A channel, as the docs call it, whose animated value is written straight into its target
// on the update thread, without the sync hand-over. Only for targets that display never reads,
// such as the update-side transform of a geometry tree, which the tree publishes in its own sync.
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

// Makes a direct channel and hands it to its owner: a statelist (as a child) or a
// control<pdata<T>> (as an item).
template <typename T, typename Owner>
pdata<T>* addpchannel(Owner& owner, typename pdata<T>::generatortype generator, T* target) {
    return adopt(owner, std::make_unique<pdata<T>>(std::move(generator), target));
}

}  // namespace talvo
