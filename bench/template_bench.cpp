// Where a large curve kernel's time goes on this OpenCL device, for dreamscape's ground
// (3 000 000 vertices) and sky (500 000), each on plain OpenCL buffers:
//   own stores   the snippet as shipped: it stores its positions itself, one float at a time,
//                and returns before the template's stores, so that a CPU device's vectoriser
//                runs work items side by side in SIMD lanes;
//   template     the same snippet without its last line, its own stores: the template writes
//                its four float4 arrays, and those stores keep the vectoriser from running;
//   floor        "xn=1;yt=1;" in the template: what writing the four arrays costs alone.
// Rounds alternate between the three so that all see the same load. Prints the medians and
// their ratios to the template's.
//
//   template_bench [steps]   (from the build directory, which holds resources/; needs a
//                             display, Xvfb will do)
#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench/support/benchmain.h"
#include "bench/support/rawkernels.h"
#include "bench/support/timing.h"
#include "cl/kerneltemplates.h"
#include "gl/resource.h"

using namespace talvo;
using namespace talvo::bench;

namespace {

// The snippet without its last line, which holds its own stores.
std::string withoutownstores(const std::string& snippet) {
    const std::string marker = "\n{__global float* p";
    const size_t at = snippet.rfind(marker);
    if (at == std::string::npos) throw std::runtime_error("the snippet's last line does not store its positions");
    return snippet.substr(0, at + 1);
}

void compare(const char* name, const std::string& snippet, int count, int steps) {
    rawkernels own({{snippet, count}});
    rawkernels astemplate({{withoutownstores(snippet), count}});
    rawkernels floor({{"xn=1;yt=1;", count}});
    const std::vector<double> ms = alternate(steps, {[&] { own.step(); }, [&] { astemplate.step(); }, [&] { floor.step(); }});
    std::printf("%-7s %8d vertices: own stores %7.2f ms (%.2f)   template %7.2f ms   floor %7.2f ms (%.2f)\n", name, count,
                ms[0], ms[0] / ms[1], ms[1], ms[2], ms[2] / ms[1]);
}

}  // namespace

int main(int argc, char** argv) {
    return benchmain(argc, argv, arguments::steps, {64, 64, 11}, [](const benchargs& args) {
        // The engine's OpenCL context comes with its first program.
        const CLProgram hub = curveprogram(curvesource("xn=1;yt=1;", ""));
        compare("ground", loadResource("dreamscape.slcl"), 3000000, args.steps);
        compare("sky", loadResource("dreamscapesky.slcl"), 500000, args.steps);
    });
}
