// One update step of a curve generator through the engine (a tree's acquire/run/release
// bracket, with the hand-over to GL where there is no native sharing) against the same
// kernel source enqueued and finished with plain OpenCL calls, in the same process and
// context. Prints the median step of each and their ratio.
//
//   curve_bench [steps]        (needs a display; Xvfb will do)
#include <cstdio>
#include <vector>

#include "bench/support/benchmain.h"
#include "bench/support/rawkernels.h"
#include "bench/support/timing.h"
#include "cl/ftree.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

struct workload {
    const char* name;
    const char* expression;
};
const workload workloads[] = {
    // A ground-like cloud: a spiral disc with a moving height field, normal up, tangent along
    // the spiral.
    {"ground", "float a=f*6283.0f; float r=1700.0f*sqrt(f); x=r*cos(a); z=r*sin(a);"
               "y=60.0f*sin(x*0.01f+acctime)*cos(z*0.013f-acctime); w=1;"
               "yn=1; xt=-sin(a); zt=cos(a);"},
    // Almost no arithmetic: what the copies cost against the kernel's own memory traffic.
    {"line", "x=f*1000-500;xn=1;yt=1;"},
};

void compare(const workload& work, int count, int steps) {
    ftree tree(CurveGenerator(work.expression, count, ""), [](glm::mat4, VArray&, int) {});
    tree.setGrowth(1.0f);
    // The same source, built and run without the engine.
    rawkernels raw({{work.expression, count}});

    tree.update();  // first runs: caches and page faults
    raw.step();
    const std::vector<double> medians = alternate(steps, {[&] { tree.update(); }, [&] { raw.step(); }});
    const double engine = medians[0], rawstep = medians[1];
    std::printf("%-6s %8d vertices: engine step %8.3f ms, raw kernel %8.3f ms, ratio %.3f\n", work.name, count, engine,
                rawstep, engine / rawstep);
}

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::steps, {64, 64, 31}, [](const benchargs& args) {
        for (const workload& work : workloads)
            for (int count : {100000, 3000000}) compare(work, count, args.steps);
    });
}
