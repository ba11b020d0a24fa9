#include "cl/pointgenerator.h"

#include <set>

#include "cl/kerneltemplates.h"
#include "cl/snippet.h"
#include "gl/reload.h"

namespace talvo {

namespace {
// Every live cloud's data, for rebuild; main thread.
std::set<void*> liveclouds;
}  // namespace

PointGenerator::pointdata::~pointdata() { liveclouds.erase(this); }

PointGenerator::PointGenerator(const std::string& expression, int maxcount)
    : handle(new pointdata(), destroy) {
    pointdata& d = data();
    d.program = pointprogram(pointsource(expression));
    d.expression = expression;
    liveclouds.insert(&d);
    addrebuilder(rebuild);
    d.maxcount = maxcount;
    d.compute.allocate(maxcount * 4);
    d.program.createKernel("update");
    d.program.createKernel("zero");
    d.program.setArg("zero", 0, d.compute);
    d.program.run("zero", size_t(maxcount), true);
}

int PointGenerator::rebuild(const std::string& name, const std::string& text) {
    int rebuilt = 0;
    for (void* live : liveclouds) {
        pointdata& d = *static_cast<pointdata*>(live);
        std::string expression = d.expression;
        if (!replacesnippet(expression, name, text)) continue;
        CLProgram program = pointprogram(pointsource(expression));
        program.createKernel("update");
        program.createKernel("zero");
        d.program = program;
        d.expression = expression;
        ++rebuilt;
    }
    return rebuilt;
}

void PointGenerator::update() {
    pointdata& d = data();
    d.program.setArg("update", 0, d.compute);
    d.program.setArg("update", 1, float(d.count));
    d.program.setArg("update", 2, float(d.maxcount));
    d.program.setArg("update", 3, acctime());
    d.program.setArg("update", 4, 0.0f);
    d.program.run("update", size_t(d.count), true);
}

void PointGenerator::publish() {
    pointdata& d = data();
    d.display.copyFrom(d.compute);
    d.drawcount = d.count;
}

}  // namespace talvo
