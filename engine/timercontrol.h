#pragma once
// A timeline, as the docs call it: fixed event times in milliseconds of production time,
// fired in order inside sync.
#include <set>
#include <vector>

#include "engine/listener.h"
#include "engine/state.h"

namespace talvo {
namespace controls {

class timercontrol : public state {
public:
    // Times are absolute production times; a time already present is not added twice.
    void addevent(float ms) { events.insert(ms); }
    // Listeners are told in registration order and are not owned.
    void addlistener(listener* l) { listeners.push_back(l); }

    // Fires every event whose time the production time has strictly passed, earliest first,
    // and consumes it. True when at least one fired in this call.
    bool sync() override;

    std::set<float> events;
    std::vector<listener*> listeners;
    int fired = 0;       // events fired so far; the next one gets this index
    float offset = 0.f;  // subtracted from the production time before comparing
};

}  // namespace controls
}  // namespace talvo
