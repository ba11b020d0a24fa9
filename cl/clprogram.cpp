#include "cl/clprogram.h"

#include <cstdlib>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cl/clcontext.h"
#include "diag/check.h"
#include "gl/resource.h"

namespace talvo {

namespace {
// Without the log, a failed build names only its status and leaves the snippet's author blind.
// Returns the log it printed.
std::string printbuildlog(cl_program program) {
    const cl_device_id device = CLContext::instance()->device();
    size_t size = 0;
    CLCHECKED(clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size));
    std::string log(size, '\0');
    CLCHECKED(clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, size, &log[0], nullptr));
    log = log.c_str();
    while (!log.empty() && (log.back() == '\n' || log.back() == ' ')) log.pop_back();
    std::cerr << log << std::endl;
    return log;
}

// The files the source names in its line directives (a snippet read from resources/ comes
// with one), each with the lines of it that the build log's errors point at ("<file>:<line>:").
std::map<std::string, std::set<int>> errorsbyfile(const std::string& source, const std::string& log) {
    static const std::regex directive(R"re(#line\s+\d+\s+"([^"]*)")re");
    std::map<std::string, std::set<int>> files;
    for (std::sregex_iterator m(source.begin(), source.end(), directive), end; m != end; ++m) {
        const std::string file = (*m)[1];
        std::istringstream entries(log);
        for (std::string entry; std::getline(entries, entry);) {
            const size_t at = entry.find(file + ":");
            if (entry.find("error") == std::string::npos || at == std::string::npos) continue;
            const char* digits = entry.c_str() + at + file.size() + 1;
            char* end = nullptr;
            const long line = std::strtol(digits, &end, 10);
            if (end != digits && *end == ':') files[file].insert(int(line));
        }
    }
    return files;
}
}  // namespace

CLProgram::programdata::~programdata() {
    for (auto i = kernels.begin(); i != kernels.end(); ++i)
        if (i->second) clcheck(clReleaseKernel(i->second), "clReleaseKernel(i->second)");
    if (program) clcheck(clReleaseProgram(program), "clReleaseProgram(*_program)");
    if (--liveprograms == 0) CLContext::destroy();
}

void CLProgram::destroy(programdata* data) {
    delete data;
}

CLProgram::CLProgram(const std::string& source, const std::string& options) {
    if (liveprograms == 0) CLContext::create();
    ++liveprograms;
    // From here on, a throw releases the handle, which undoes the count.
    handle = shared<programdata*>(new programdata(), destroy);
    programdata& data = *handle.name();

    const char* c = source.c_str();
    const size_t l = source.size();
    cl_int err = CL_SUCCESS;
    data.program = clCreateProgramWithSource(CLContext::instance()->context(), 1, &c, &l, &err);
    clcheck(err, "*_program = clCreateProgramWithSource(context->context(), 1, &c, &l, &err);");

    const cl_int status = clBuildProgram(data.program, 0, nullptr, options.c_str(), nullptr, nullptr);
    if (status != CL_SUCCESS)
        for (const auto& [file, lines] : errorsbyfile(source, printbuildlog(data.program)))
            resourcefailure(file, "does not compile", lines);
    clcheck(status, "clBuildProgram(*_program, 0,0, \"\", 0,0);");
}

void CLProgram::createKernel(const std::string& func) {
    programdata& data = *handle.name();
    cl_int err = CL_SUCCESS;
    cl_kernel created = nullptr;
    CLCHECKED_ERR(created = clCreateKernel(data.program, func.c_str(), &err), err);
    cl_kernel& slot = data.kernels[func];
    if (slot) CLCHECKED(clReleaseKernel(slot));
    slot = created;
    data.glargs.erase(func);
}

cl_kernel& CLProgram::kernel(const std::string& func) {
    return handle.name()->kernels[func];
}

void CLProgram::setArg(const std::string& func, cl_uint index, float value) {
    const cl_int status = clSetKernelArg(kernel(func), index, sizeof(value), &value);
    clcheck(status, "clSetKernelArg((*_kernels)[func], index, sizeof(T), &t)");
    handle.name()->glargs[func].erase(index);
}

void CLProgram::setArg(const std::string& func, cl_uint index, const Buffer<float>& buffer) {
    cl_mem mem = sharedMem(buffer);
    clcheck(clSetKernelArg(kernel(func), index, sizeof(cl_mem), &mem), "");
    handle.name()->glargs[func][index] = buffer.buf();
}

void CLProgram::setArg(const std::string& func, cl_uint index, float* data, int count) {
    cl_mem mem = hostMem(data, count);
    clcheck(clSetKernelArg(kernel(func), index, sizeof(cl_mem), &mem), "");
    handle.name()->glargs[func].erase(index);
}

void CLProgram::run(const std::string& func, size_t size, bool acquire) {
    CLContext& context = *CLContext::instance();
    cl_kernel k = kernel(func);
    if (size == 0) size = 1;
    if (acquire) context.acquireGL();
    const auto& bound = handle.name()->glargs;
    auto found = bound.find(func);
    if (found != bound.end())
        for (const auto& arg : found->second) context.kernelgiven(arg.second);
    CLCHECKED(clEnqueueNDRangeKernel(context.queue(), k, 1, nullptr, &size, nullptr, 0, nullptr, nullptr));
    if (acquire) context.releaseGL();
}

}  // namespace talvo
