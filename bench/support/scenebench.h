#pragma once
// A scene against the same work done without the engine, in the same process and contexts:
// its update step against its kernels on plain OpenCL, its sync and display against its
// draws with plain GL. A scene's benchmark gives the scene (usually a subclass that opens up
// what the raw draws need), its raw reference and the production time to start at:
//
//   class rawflight {
//   public:
//       rawflight(benchflight& scene, int width, int height);
//       void step();   // the scene's kernels, finished
//       void frame();  // the scene's draws and pass into the window, finished
//   };
//   ... benchmain(argc, argv, arguments::sizeandsteps, {640, 360, 15}, [](const benchargs& args) {
//       printscene("flight", args, timescene<benchflight, rawflight>(args, 140000), "publishing the paths");
//   });
#include <epoxy/gl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/support/benchmain.h"
#include "bench/support/timing.h"
#include "diag/check.h"

namespace talvo::bench {

// What one frame asked of the pipeline (GL_ARB_pipeline_statistics_query): counts that any GPU
// gives nearly alike, where wall time on a software rasteriser does not judge a change. Fragment
// shader invocations are the driver's own (llvmpipe shades 4x4 blocks); the samples the frame
// covered (an occlusion query) are the same on every GPU.
struct framecounts {
    bool counted = false;  // false where the driver offers no pipeline statistics
    GLuint64 vertices = 0, gsinvocations = 0, gsprimitives = 0, rasterised = 0, fragments = 0, samples = 0;
};

// Medians in milliseconds, and one frame's counts on each side.
struct scenemedians {
    double update, rawupdate;      // the scene's update step; its kernels without the engine
    double sync, display, rawframe;  // the scene's sync and display; its draws without the engine
    framecounts counts, rawcounts;   // one display of the scene; one raw frame
};

// The steps of timescene, for a benchmark that times a scene its own way.
// Sets the production clock to `at` (milliseconds of production time), the engine's window
// size and viewport to the benchmark's, and makes the shared targets the scenes draw into, as
// the production does on a resize.
void preparescene(const benchargs& args, uint32_t at);
// Lets go of the shared targets.
void releasescene();
// Warns when the window holds a different picture after `raw` than after the scene's display.
void comparepictures(const benchargs& args, const std::function<void()>& raw);
// The pipeline statistics of one frame drawn by `frame`.
framecounts countframe(const std::function<void()>& frame);

// The scene is constructed, resized and entered; it runs one update, sync and display, and
// then the raw reference (constructed from the scene and the size, after the scene has
// published its vertices) runs once, the two pictures compared, and one frame of each is
// counted. Then `args.steps` rounds alternate the scene's update, the raw step, the scene's
// sync and display, and the raw frame.
template <class Scene, class Raw>
scenemedians timescene(const benchargs& args, uint32_t at) {
    preparescene(args, at);
    scenemedians m{};
    {
        Scene scene;
        scene.resize(args.width, args.height);
        scene.enter(nullptr);
        scene.update();
        scene.sync();
        scene.display();
        GLCHECKED(glFinish());
        Raw raw(scene, args.width, args.height);
        raw.step();
        comparepictures(args, [&] { raw.frame(); });
        m.counts = countframe([&] { scene.display(); });
        m.rawcounts = countframe([&] { raw.frame(); });
        const std::vector<double> medians = alternate(
            args.steps, {[&] { scene.update(); }, [&] { raw.step(); },
                         [&] {
                             scene.sync();
                             GLCHECKED(glFinish());
                         },
                         [&] {
                             scene.display();
                             GLCHECKED(glFinish());
                         },
                         [&] { raw.frame(); }});
        scene.leave(nullptr);
        m.update = medians[0];
        m.rawupdate = medians[1];
        m.sync = medians[2];
        m.display = medians[3];
        m.rawframe = medians[4];
    }
    releasescene();
    return m;
}

// The medians and the engine/raw ratios:
//   <name> WxH, N steps (medians):
//     update   engine ... ms   raw OpenCL ... ms   ratio ...
//     display  engine ... ms   raw GL     ... ms   ratio ...
//     sync (<what sync does>) ... ms; sync + display against raw GL: ratio ...
//     one frame, engine (raw GL): vertices ..., geometry shader ... invocations ... primitives,
//       rasterised ..., fragments ... (overdraw ... of WxH pixels), samples covered ... (... a pixel)
void printscene(const std::string& name, const benchargs& args, const scenemedians& m, const std::string& syncdoes);

}  // namespace talvo::bench
