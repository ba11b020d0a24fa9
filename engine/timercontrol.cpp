#include "engine/timercontrol.h"

#include "engine/globals.h"

namespace talvo {
namespace controls {

bool timercontrol::sync() {
    bool result = false;
    while (!events.empty()) {
        // Read again for every event: a listener may have moved the clock.
        const float t = static_cast<float>(productiontime()) - offset;
        if (!(t > *events.begin())) break;
        const int i = fired++;
        result = true;
        // Consumed before the listeners run, so that a listener adding an event or syncing this
        // timeline again can neither lose another event nor fire this one twice.
        events.erase(events.begin());
        // By index: a listener may register another one while being told.
        for (std::size_t k = 0; k < listeners.size(); ++k) listeners[k]->notify(i);
    }
    return result;
}

}  // namespace controls
}  // namespace talvo
