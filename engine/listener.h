#pragma once
// Something a timeline tells about its events.

namespace talvo {
namespace controls {

class listener {
public:
    virtual ~listener() = default;
    // Event number index has fired: 0 for the first event of the timeline, 1 for the second...
    virtual void notify(int index) = 0;
};

}  // namespace controls
}  // namespace talvo
