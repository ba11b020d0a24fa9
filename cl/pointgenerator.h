#pragma once
// A cloud of up to maxcount points computed by a point expression (see kerneltemplates.h):
// the kernel writes the compute buffer, and the owner publishes it into the display buffer in
// its sync and draws that.
//
// A copyable handle: copies share everything, and the last copy releases the buffers and its
// copy of the cached program.
#include <string>

#include "cl/buffer.h"
#include "cl/clprogram.h"
#include "gl/reload.h"
#include "gl/shared.h"

namespace talvo {

class PointGenerator {
public:
    // An empty handle.
    PointGenerator() = default;
    // Builds (or takes from the cache) the program and clears the compute buffer of
    // maxcount float4 points.
    PointGenerator(const std::string& expression, int maxcount);

    // Update thread: runs the expression over count points (at least one) in its own
    // acquire/release bracket.
    void update();
    // Render thread, in the owner's sync: copies the compute buffer into the display buffer
    // and takes count as the number of points to draw.
    void publish();

    // Work items of the next update; the owner sets it.
    int count() const { return data().count; }
    void setCount(int count) { data().count = count; }
    // Points to draw, as of the last publish.
    int drawcount() const { return data().drawcount; }
    int maxcount() const { return data().maxcount; }
    Buffer<float>& display() const { return data().display; }
    Buffer<float>& compute() const { return data().compute; }
    int usecount() const { return handle.usecount(); }

private:
    struct pointdata {
        pointdata();
        Buffer<float> display;
        Buffer<float> compute;
        CLProgram program;
        std::string expression;
        int count = 0;
        int drawcount = 0;
        int maxcount = 0;
        // Maker mode builds the kernel anew around a saved snippet of the expression
        // (gl/reload.h); the buffers stay as they are.
        rebuildentry reload;
        bool rebuild(const std::string& file, const std::string& text);
    };
    static void destroy(pointdata* data) { delete data; }
    pointdata& data() const { return *handle.name(); }

    shared<pointdata*> handle;
};

}  // namespace talvo
