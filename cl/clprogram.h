#pragma once
// OpenCL C source built into a program, its kernels by name, their arguments and their runs.
//
// A copyable handle: copies share the program and its kernels, and the last copy releases
// them. The first program of the process creates the CLContext and the last one destroys it.
// Kernels are always addressed by name; nobody holds a cl_kernel outside its program.
#include <map>
#include <string>
#include <unordered_map>

#include "cl/buffer.h"
#include "cl/opencl.h"
#include "gl/shared.h"

namespace talvo {

class CLProgram {
public:
    // An empty handle: no program.
    CLProgram() = default;
    // Builds the source for the context's device. A build failure prints the build log to
    // standard error, then a line for each file the source names in a line directive (a
    // snippet's resources/<name>) with the lines its errors point at, and ends the run through
    // the check of clBuildProgram.
    CLProgram(const std::string& source, const std::string& options);

    // Creates the kernel `func`, replacing (and releasing) an earlier one of that name.
    void createKernel(const std::string& func);
    // The slot of kernel `func`; a name never created yields a slot holding a null kernel.
    cl_kernel& kernel(const std::string& func);

    // Arguments stay bound between runs.
    void setArg(const std::string& func, cl_uint index, float value);
    // A GL buffer: its memory object is made the first time any kernel is given the buffer.
    void setArg(const std::string& func, cl_uint index, const Buffer<float>& buffer);
    // A host array of count floats: its device buffer is made the first time any kernel is
    // given the array, as a copy of it.
    void setArg(const std::string& func, cl_uint index, float* data, int count);

    // Enqueues `func` over `size` work items (0 runs one). With `acquire` the run is bracketed
    // by acquireGL and releaseGL, so its results are complete on return; without, the caller
    // brackets a batch of runs itself.
    void run(const std::string& func, size_t size, bool acquire);

    cl_program name() const { return handle ? handle.name()->program : nullptr; }
    int usecount() const { return handle.usecount(); }

private:
    struct programdata {
        programdata() = default;
        programdata(const programdata&) = delete;
        programdata& operator=(const programdata&) = delete;
        ~programdata();

        cl_program program = nullptr;
        std::unordered_map<std::string, cl_kernel> kernels;
        // The GL buffers bound to each kernel, by argument index: what a run hands to GL at
        // the end of a staged bracket.
        std::unordered_map<std::string, std::map<cl_uint, GLuint>> glargs;
    };
    static void destroy(programdata* data);

    shared<programdata*> handle;
};

}  // namespace talvo
