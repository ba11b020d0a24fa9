#pragma once
// count vertices along a curve computed by a curve expression (see kerneltemplates.h). The
// kernel writes the positions to a GL buffer for drawing, and positions, tangents and normals
// to device buffers that readBack brings to the host, so that other geometry can hang on the
// curve.
//
// A copyable handle: copies share everything, so tree nodes that share one generator run its
// kernel once per step. The last copy releases the buffers, the vertex array, the host arrays
// and its copy of the cached program.
#include <string>
#include <vector>

#include "cl/buffer.h"
#include "cl/clprogram.h"
#include "gl/reload.h"
#include "gl/shared.h"
#include "gl/varray.h"

namespace talvo {

class CurveGenerator {
public:
    // An empty handle.
    CurveGenerator() = default;
    // Builds (or takes from the cache) the program for prefix + expression, clears the compute
    // buffer and the host arrays, and feeds attribute 0 of the vertex array from the display
    // buffer. count must be at least 1.
    CurveGenerator(const std::string& expression, int count, const std::string& prefix);

    // Update thread, inside the caller's acquire/release bracket: runs the kernel if an update
    // is pending.
    void update();
    // Brings the host positions, tangents and normals up to date; reads only once per run.
    void readBack();
    // Render thread, in sync: copies the compute buffer into the drawn one if the kernel has
    // written it since the last publish.
    void publish();

    bool updatePending() const { return data().updatePending; }
    void setUpdatePending() { data().updatePending = true; }
    bool readPending() const { return data().readPending; }

    int count() const { return data().count; }
    // count float4 each, as of the last readBack.
    const std::vector<float>& positions() const { return data().positions; }
    const std::vector<float>& tangents() const { return data().tangents; }
    const std::vector<float>& normals() const { return data().normals; }

    VArray& varray() const { return data().varray; }
    Buffer<float>& display() const { return data().display; }
    Buffer<float>& compute() const { return data().compute; }
    int usecount() const { return handle.usecount(); }

private:
    struct curvedata {
        curvedata();
        curvedata(const curvedata&) = delete;
        curvedata& operator=(const curvedata&) = delete;
        ~curvedata();

        bool readPending = true;
        bool updatePending = true;
        bool publishPending = true;
        cl_mem normalmem = nullptr;
        cl_mem tangentmem = nullptr;
        cl_mem positionmem = nullptr;
        Buffer<float> display;
        Buffer<float> compute;
        VArray varray;
        CLProgram program;
        std::string expression, prefix;
        int count = 0;
        std::vector<float> positions;
        std::vector<float> tangents;
        std::vector<float> normals;
        // Maker mode builds the kernel anew around a saved snippet of the expression or the
        // prefix (gl/reload.h); the buffers stay as they are.
        rebuildentry reload;
        bool rebuild(const std::string& file, const std::string& text);
    };
    static void destroy(curvedata* data) { delete data; }
    curvedata& data() const { return *handle.name(); }

    shared<curvedata*> handle;
};

}  // namespace talvo
