#include "cl/pointgenerator.h"

#include "cl/kerneltemplates.h"
#include "cl/snippet.h"

namespace talvo {

PointGenerator::pointdata::pointdata()
    : reload([this](const std::string& file, const std::string& text) { return rebuild(file, text); }) {}

PointGenerator::PointGenerator(const std::string& expression, int maxcount)
    : handle(new pointdata(), destroy) {
    pointdata& d = data();
    d.program = pointprogram(pointsource(expression));
    d.expression = expression;
    if (!snippetname(expression).empty()) d.reload.builtfrom(snippetname(expression));
    d.maxcount = maxcount;
    d.compute.allocate(maxcount * 4);
    d.program.createKernel("update");
    d.program.createKernel("zero");
    d.program.setArg("zero", 0, d.compute);
    d.program.run("zero", size_t(maxcount), true);
}

bool PointGenerator::pointdata::rebuild(const std::string& file, const std::string& text) {
    std::string newexpression = expression;
    replacesnippet(newexpression, file, text);
    CLProgram built = pointprogram(pointsource(newexpression));
    built.createKernel("update");
    built.createKernel("zero");
    program = built;
    expression = newexpression;
    return true;
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
