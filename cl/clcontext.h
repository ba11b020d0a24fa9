#pragma once
// The one OpenCL context of the process, its single in-order queue and every OpenCL memory
// object: one per GL buffer that a kernel was given, one per host float array that a kernel
// was given.
//
// Kernels write GL buffers that the scenes draw. acquireGL and releaseGL bracket that work:
// GL work on the buffers is complete before OpenCL touches them, and OpenCL work is complete
// before GL uses them again. Three ways to share, chosen once when the context is made:
//   native  the device lists cl_khr_gl_sharing: memory objects are the GL buffers themselves,
//           passed back and forth with clEnqueueAcquireGLObjects/clEnqueueReleaseGLObjects;
//   mapped  otherwise, where GL offers GL_ARB_buffer_storage: a GL buffer given to a kernel
//           gets immutable storage mapped persistently and coherently, and its memory object
//           uses that mapping as its host memory, so kernels write the storage GL draws from
//           and nothing is copied. The host side holds the mapping (clEnqueueMapBuffer) between
//           brackets; a kernel's run hands it to the device, releaseGL hands it back;
//   staged  otherwise: each GL buffer has a plain OpenCL buffer of its size. acquireGL copies
//           in what the GL side changed since OpenCL last saw it (upload, allocate); releaseGL
//           copies back the buffers that kernels of the bracket were given and finishes the GL
//           writes, so that the other thread's GL context sees them complete.
//
// Nobody makes the context directly: the first CLProgram creates it, the last one destroys it.
// The maps are used without locks: the update thread's hand-over (app/updatethread.h) keeps
// them to one thread at a time.
#include <epoxy/gl.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "cl/opencl.h"

namespace talvo {

class CLContext {
public:
    CLContext(const CLContext&) = delete;
    CLContext& operator=(const CLContext&) = delete;

    // Null while no program exists.
    static CLContext* instance() { return theinstance; }

    cl_context context() const { return _context; }
    cl_command_queue queue() const { return _queue; }
    cl_device_id device() const { return _device; }
    // True when buffers are shared through cl_khr_gl_sharing, false when mapped or staged.
    bool native() const { return _native; }
    // True when kernels write GL buffers' storage through persistent mappings.
    bool mapped() const { return _mapped; }

    // Both run on the thread whose GL context is current (the update thread during the run,
    // the main thread while scenes are built).
    void acquireGL();
    void releaseGL();

    // The memory object of a GL buffer of `bytes` bytes, made on first use. The buffer must
    // have its storage already: it is never re-sized once a kernel has seen it (when mapped,
    // its storage is immutable from then on).
    cl_mem sharedMem(GLuint buf, size_t bytes);
    // The bytes of a GL buffer's immutable storage that kernels write in place, 0 for any other
    // buffer: new contents must be written into that storage, never re-specified.
    size_t fixedbytes(GLuint buf) const;
    // The device buffer of a host float array, made on first use as a copy of its n floats; a
    // different n on a later call is ignored.
    cl_mem hostMem(float* data, int n);

    // What the buffer and program classes report, so that staged sharing copies only what
    // changed and mapped sharing hands over only what kernels use. Unknown names are ignored.
    void glchanged(GLuint buf);    // new GL contents or storage (upload, allocate)
    void kernelgiven(GLuint buf);  // a kernel is about to be enqueued with this buffer as an argument
    // The GL buffer or host array is going away: its memory object goes with it, so that a
    // name or address reused later gets a memory object of its own.
    void forgetgl(GLuint buf);
    void forgethost(const float* data);

    size_t glbuffercount() const { return glbuffers.size(); }

private:
    friend class CLProgram;
    // One GL buffer's memory object and, when staged, what each side has seen.
    struct glshare {
        cl_mem mem;
        size_t bytes;
        bool glnewer;  // the GL side changed since OpenCL last took it in
        bool given;    // a kernel of the current bracket had it as an argument
        void* mapping = nullptr;  // mapped: the persistent mapping, held by the host unless given
    };

    CLContext();
    ~CLContext();
    // Called by CLProgram as programs come and go.
    static void create();
    static void destroy();

    void copyin(GLuint buf, glshare& share);
    void copyout(GLuint buf, glshare& share);
    cl_mem mapstorage(GLuint buf, glshare& share);
    // Hands a mapped buffer's storage back to the host; blocking waits for it.
    void hostmap(glshare& share, bool blocking);

    static CLContext* theinstance;

    cl_context _context = nullptr;
    cl_command_queue _queue = nullptr;
    cl_device_id _device = nullptr;
    bool _native = false;
    bool _mapped = false;
    std::unordered_map<GLuint, glshare> glbuffers;
    // Every memory object of glbuffers in creation order: what acquire and release pass.
    std::vector<cl_mem> glshared;
    std::unordered_map<const float*, cl_mem> buffers;
};

// Distinct programs alive; the context exists while this is above 0.
extern int liveprograms;

// The first GPU device of the platforms in order, or else the first device of any type; null
// when no platform has a device.
cl_device_id choosedevice(const std::vector<cl_platform_id>& platforms, cl_platform_id* platform);
// The device the GL context (its GLX context and display) runs on, asked of every platform that
// offers cl_khr_gl_sharing in order; null when none names one. `offered` tells whether any
// platform offers the extension at all.
cl_device_id gldevice(const std::vector<cl_platform_id>& platforms, void* glxcontext, void* display,
                      cl_platform_id* platform, bool* offered);
// True when the device's extension string lists the extension.
bool hasextension(cl_device_id device, const std::string& extension);

}  // namespace talvo
