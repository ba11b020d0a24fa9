#include "cl/curvegenerator.h"

#include "cl/clcontext.h"
#include "cl/kerneltemplates.h"
#include "cl/snippet.h"
#include "diag/check.h"

namespace talvo {

CurveGenerator::curvedata::curvedata()
    : reload([this](const std::string& file, const std::string& text) { return rebuild(file, text); }) {}

CurveGenerator::curvedata::~curvedata() {
    // The device buffers belong to these arrays' addresses, which the heap may hand out again.
    if (CLContext* context = CLContext::instance()) {
        context->forgethost(positions.data());
        context->forgethost(tangents.data());
        context->forgethost(normals.data());
    }
}

CurveGenerator::CurveGenerator(const std::string& expression, int count, const std::string& prefix)
    : handle(new curvedata(), destroy) {
    curvedata& d = data();
    d.varray = VArray::create();
    d.program = curveprogram(curvesource(expression, prefix));
    d.expression = expression;
    d.prefix = prefix;
    for (const std::string& code : {expression, prefix})
        if (!snippetname(code).empty()) d.reload.builtfrom(snippetname(code));
    d.count = count;
    d.positions.assign(size_t(count) * 4, 0.0f);
    d.tangents.assign(size_t(count) * 4, 0.0f);
    d.normals.assign(size_t(count) * 4, 0.0f);

    d.compute.allocate(count * 4);
    d.program.createKernel("update");
    d.program.createKernel("zero");
    d.program.setArg("zero", 0, d.compute);
    d.program.run("zero", size_t(count), true);

    d.tangentmem = hostMem(d.tangents.data(), count * 4);
    d.normalmem = hostMem(d.normals.data(), count * 4);
    d.positionmem = hostMem(d.positions.data(), count * 4);
    const cl_command_queue queue = CLContext::instance()->queue();
    const size_t bytes = size_t(count) * 4 * sizeof(float);
    for (std::vector<float>* host : {&d.positions, &d.tangents, &d.normals}) {
        d.program.setArg("zero", 0, host->data(), count * 4);
        d.program.run("zero", size_t(count), true);
        CLCHECKED(clEnqueueReadBuffer(queue, hostMem(host->data(), count * 4), CL_TRUE, 0, bytes, host->data(), 0,
                                      nullptr, nullptr));
    }

    // The display buffer gets its storage at the first publish.
    d.varray.setAttribute(0, d.display.buf(), d.display.target, d.display.type);
}

bool CurveGenerator::curvedata::rebuild(const std::string& file, const std::string& text) {
    std::string newexpression = expression, newprefix = prefix;
    replacesnippet(newexpression, file, text);
    replacesnippet(newprefix, file, text);
    CLProgram built = curveprogram(curvesource(newexpression, newprefix));
    built.createKernel("update");
    built.createKernel("zero");
    program = built;
    expression = newexpression;
    prefix = newprefix;
    updatePending = true;
    return true;
}

void CurveGenerator::update() {
    curvedata& d = data();
    if (!d.updatePending) return;
    const int n = d.count * 4;
    d.program.setArg("update", 0, d.compute);
    d.program.setArg("update", 1, float(d.count));
    d.program.setArg("update", 2, float(d.count));
    d.program.setArg("update", 3, acctime());
    d.program.setArg("update", 4, d.tangents.data(), n);
    d.program.setArg("update", 5, d.positions.data(), n);
    d.program.setArg("update", 6, d.normals.data(), n);
    d.program.run("update", size_t(d.count), false);
    d.readPending = true;
    d.updatePending = false;
    d.publishPending = true;
}

void CurveGenerator::readBack() {
    curvedata& d = data();
    if (!d.readPending) return;
    const cl_command_queue queue = CLContext::instance()->queue();
    const size_t bytes = size_t(d.count) * 4 * sizeof(float);
    // One wait for all three: the queue is in order, so the last read ends after the others.
    CLCHECKED(clEnqueueReadBuffer(queue, d.positionmem, CL_FALSE, 0, bytes, d.positions.data(), 0, nullptr, nullptr));
    CLCHECKED(clEnqueueReadBuffer(queue, d.tangentmem, CL_FALSE, 0, bytes, d.tangents.data(), 0, nullptr, nullptr));
    CLCHECKED(clEnqueueReadBuffer(queue, d.normalmem, CL_TRUE, 0, bytes, d.normals.data(), 0, nullptr, nullptr));
    d.readPending = false;
}

void CurveGenerator::publish() {
    curvedata& d = data();
    if (!d.publishPending) return;
    d.display.copyFrom(d.compute);
    d.publishPending = false;
}

}  // namespace talvo

