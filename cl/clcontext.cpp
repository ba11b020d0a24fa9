#include "cl/clcontext.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <vector>

#include "diag/check.h"
#include "diag/exceptions.h"
#include "platform/contexts.h"

namespace talvo {

CLContext* CLContext::theinstance = nullptr;
int liveprograms = 0;

cl_device_id choosedevice(const std::vector<cl_platform_id>& platforms, cl_platform_id* platform) {
    for (cl_device_type type : {cl_device_type(CL_DEVICE_TYPE_GPU), cl_device_type(CL_DEVICE_TYPE_ALL)}) {
        for (cl_platform_id p : platforms) {
            // A platform without such a device answers CL_DEVICE_NOT_FOUND, and one whose
            // driver fails cannot serve either: both mean "look further", not a fault.
            cl_device_id device = nullptr;
            if (clGetDeviceIDs(p, type, 1, &device, nullptr) == CL_SUCCESS && device) {
                *platform = p;
                return device;
            }
        }
    }
    return nullptr;
}

bool hasextension(cl_device_id device, const std::string& extension) {
    size_t size = 0;
    CLCHECKED(clGetDeviceInfo(device, CL_DEVICE_EXTENSIONS, 0, nullptr, &size));
    std::string extensions(size, '\0');
    CLCHECKED(clGetDeviceInfo(device, CL_DEVICE_EXTENSIONS, size, &extensions[0], nullptr));
    std::istringstream words(extensions.c_str());
    std::string word;
    while (words >> word)
        if (word == extension) return true;
    return false;
}

namespace {
// The platform offers GL sharing when it, or one of its devices, lists the extension. A
// platform whose driver fails to answer offers nothing, as choosedevice passes it over.
bool offerssharing(cl_platform_id platform) {
    size_t size = 0;
    if (clGetPlatformInfo(platform, CL_PLATFORM_EXTENSIONS, 0, nullptr, &size) != CL_SUCCESS) return false;
    std::string extensions(size, '\0');
    CLCHECKED(clGetPlatformInfo(platform, CL_PLATFORM_EXTENSIONS, size, &extensions[0], nullptr));
    std::istringstream words(extensions.c_str());
    for (std::string word; words >> word;)
        if (word == "cl_khr_gl_sharing") return true;
    cl_uint count = 0;
    if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 0, nullptr, &count) != CL_SUCCESS) return false;
    std::vector<cl_device_id> devices(count);
    CLCHECKED(clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, count, devices.data(), nullptr));
    return std::any_of(devices.begin(), devices.end(),
                       [](cl_device_id device) { return hasextension(device, "cl_khr_gl_sharing"); });
}
}  // namespace

cl_device_id gldevice(const std::vector<cl_platform_id>& platforms, void* glxcontext, void* display,
                      cl_platform_id* platform, bool* offered) {
    *offered = false;
    for (cl_platform_id p : platforms) {
        if (!offerssharing(p)) continue;
        *offered = true;
        using contextinfo =
            cl_int(CL_API_CALL*)(const cl_context_properties*, cl_gl_context_info, size_t, void*, size_t*);
        const auto query =
            reinterpret_cast<contextinfo>(clGetExtensionFunctionAddressForPlatform(p, "clGetGLContextInfoKHR"));
        if (!query) continue;
        const cl_context_properties props[] = {CL_GL_CONTEXT_KHR, cl_context_properties(glxcontext),
                                               CL_GLX_DISPLAY_KHR, cl_context_properties(display),
                                               CL_CONTEXT_PLATFORM, cl_context_properties(p), 0};
        // A platform that cannot tell, or names no device, is passed over like one without devices.
        cl_device_id device = nullptr;
        size_t size = 0;
        if (query(props, CL_CURRENT_DEVICE_FOR_GL_CONTEXT_KHR, sizeof device, &device, &size) == CL_SUCCESS &&
            size == sizeof device && device) {
            *platform = p;
            return device;
        }
    }
    return nullptr;
}

namespace {
std::string devicename(cl_device_id device) {
    size_t size = 0;
    CLCHECKED(clGetDeviceInfo(device, CL_DEVICE_NAME, 0, nullptr, &size));
    std::string name(size, '\0');
    CLCHECKED(clGetDeviceInfo(device, CL_DEVICE_NAME, size, &name[0], nullptr));
    return name.c_str();
}
}  // namespace

CLContext::CLContext() {
    cl_uint platform_count = 0;
    try {
        CLCHECKED(clGetPlatformIDs(0, nullptr, &platform_count));
    } catch (const Log::CLException&) {
        // After the check line, what to do about it.
        std::cerr << "No OpenCL driver is installed: install one (Debian's package pocl-opencl-icd runs on the "
                     "processor; a GPU's own driver is faster)."
                  << std::endl;
        throw;
    }
    std::cout << "Platform count: " << platform_count << std::endl;
    std::vector<cl_platform_id> platforms(platform_count);
    CLCHECKED(clGetPlatformIDs(platform_count, platforms.data(), nullptr));

    // Native sharing ties the context to the update thread's GL context, which shares every
    // object with the render thread's; only the device that GL context runs on can share with it
    // (a hybrid laptop has two GPUs, one of them GL's).
    GLFWwindow* const window = secondarycontext ? secondarycontext : platform::currentcontext();
    const platform::nativecontext gl = window ? platform::nativehandles(window) : platform::nativecontext{};
    cl_platform_id platform = nullptr;
    bool offered = false;
    if (window) _device = gldevice(platforms, gl.glxcontext, gl.display, &platform, &offered);
    _native = _device != nullptr;
    if (!_device) {
        _device = choosedevice(platforms, &platform);
        if (!_device) clcheck(CL_DEVICE_NOT_FOUND, "clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &device, 0)");
        if (offered)
            std::cout << "OpenCL: cl_khr_gl_sharing is offered, but no device shares buffers with this GL context"
                      << std::endl;
    }
    _mapped = !_native && platform::currentcontext() && epoxy_has_gl_extension("GL_ARB_buffer_storage");

    std::vector<cl_context_properties> props;
    if (_native)
        props = {CL_GL_CONTEXT_KHR, cl_context_properties(gl.glxcontext), CL_GLX_DISPLAY_KHR,
                 cl_context_properties(gl.display)};
    props.insert(props.end(), {CL_CONTEXT_PLATFORM, cl_context_properties(platform), 0});

    cl_int err = CL_SUCCESS;
    _context = clCreateContext(props.data(), 1, &_device, nullptr, nullptr, &err);
    clcheck(err, "_context = clCreateContext(props, 1, &devices, 0, 0, &err);");
    _queue = clCreateCommandQueue(_context, _device, 0, &err);
    clcheck(err, "_queue = clCreateCommandQueue(_context, devices, 0, &err);");

    std::cout << "OpenCL on " << devicename(_device)
              << (_native   ? ": GL buffers shared natively (cl_khr_gl_sharing)"
                  : _mapped ? ": GL buffers shared through persistent mappings (no cl_khr_gl_sharing)"
                            : ": GL buffers staged through copies (no cl_khr_gl_sharing)")
              << std::endl;
}

CLContext::~CLContext() {
    for (auto i = glbuffers.begin(); i != glbuffers.end(); ++i)
        clcheck(clReleaseMemObject(i->second.mem), "clReleaseMemObject(*i)");
    for (auto i = buffers.begin(); i != buffers.end(); ++i)
        clcheck(clReleaseMemObject(i->second), "clReleaseMemObject(*i)");
    glbuffers.clear();
    glshared.clear();
    buffers.clear();
    CLCHECKED(clReleaseCommandQueue(_queue));
    CLCHECKED(clReleaseContext(_context));
}

void CLContext::create() {
    theinstance = new CLContext();
}

void CLContext::destroy() {
    CLContext* context = theinstance;
    theinstance = nullptr;
    delete context;
}

void CLContext::acquireGL() {
    if (glbuffers.empty()) return;
    glFinish();
    if (_native) {
        clcheck(clEnqueueAcquireGLObjects(_queue, cl_uint(glshared.size()), glshared.data(), 0, nullptr,
                                          nullptr),
                "clEnqueueAcquireGLObjects(context->queue(), glbuffers->size(), &(*glbuffers)[0], 0,0,0)");
    } else if (!_mapped) {
        for (auto& [buf, share] : glbuffers)
            if (share.glnewer) copyin(buf, share);
    }
    glcheck("glFinish()");
}

void CLContext::releaseGL() {
    if (!glbuffers.empty()) {
        if (_native) {
            clcheck(clEnqueueReleaseGLObjects(_queue, cl_uint(glshared.size()), glshared.data(), 0, nullptr,
                                              nullptr),
                    "clEnqueueReleaseGLObjects(context->queue(), glbuffers->size(), &(*glbuffers)[0], 0,0,0)");
        } else if (_mapped) {
            for (auto& [buf, share] : glbuffers)
                if (share.given) hostmap(share, false);
        } else {
            bool written = false;
            for (auto& [buf, share] : glbuffers) {
                if (!share.given) continue;
                copyout(buf, share);
                written = true;
            }
            // The render thread draws these buffers from its own context.
            if (written) GLCHECKED(glFinish());
        }
    }
    clcheck(clFinish(_queue), "clFinish(context->queue())");
}

namespace {
// Binds a GL buffer and returns how many of its bytes both sides hold: storage re-sized after
// the kernels first saw it is copied only as far as both reach.
size_t bindstaged(GLuint buf, size_t clbytes) {
    GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buf));
    GLint size = 0;
    GLCHECKED(glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size));
    return std::min(clbytes, size_t(size));
}
}  // namespace

void CLContext::copyin(GLuint buf, glshare& share) {
    const size_t bytes = bindstaged(buf, share.bytes);
    if (bytes > 0) {
        void* data = nullptr;
        GLCHECKED(data = glMapBufferRange(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), GL_MAP_READ_BIT));
        CLCHECKED(clEnqueueWriteBuffer(_queue, share.mem, CL_TRUE, 0, bytes, data, 0, nullptr, nullptr));
        GLCHECKED(glUnmapBuffer(GL_ARRAY_BUFFER));
    }
    share.glnewer = false;
}

void CLContext::copyout(GLuint buf, glshare& share) {
    const size_t bytes = bindstaged(buf, share.bytes);
    if (bytes > 0) {
        void* data = nullptr;
        GLCHECKED(data = glMapBufferRange(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), GL_MAP_WRITE_BIT));
        CLCHECKED(clEnqueueReadBuffer(_queue, share.mem, CL_TRUE, 0, bytes, data, 0, nullptr, nullptr));
        GLCHECKED(glUnmapBuffer(GL_ARRAY_BUFFER));
    }
    share.given = false;
}

cl_mem CLContext::mapstorage(GLuint buf, glshare& share) {
    // The storage takes over what upload or a copy put in the buffer.
    GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, buf));
    std::vector<unsigned char> contents(share.bytes);
    GLCHECKED(glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(share.bytes), contents.data()));
    const GLbitfield access = GL_MAP_READ_BIT | GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    GLCHECKED(glBufferStorage(GL_ARRAY_BUFFER, GLsizeiptr(share.bytes), contents.data(),
                              access | GL_DYNAMIC_STORAGE_BIT));
    GLCHECKED(share.mapping = glMapBufferRange(GL_ARRAY_BUFFER, 0, GLsizeiptr(share.bytes), access));
    cl_int err = CL_SUCCESS;
    CLCHECKED_ERR(share.mem = clCreateBuffer(_context, CL_MEM_READ_WRITE | CL_MEM_USE_HOST_PTR, share.bytes,
                                             share.mapping, &err),
                  err);
    hostmap(share, true);
    return share.mem;
}

void CLContext::hostmap(glshare& share, bool blocking) {
    // A memory object on host memory gives back that memory itself.
    cl_int err = CL_SUCCESS;
    CLCHECKED_ERR(clEnqueueMapBuffer(_queue, share.mem, blocking ? CL_TRUE : CL_FALSE, CL_MAP_READ | CL_MAP_WRITE,
                                     0, share.bytes, 0, nullptr, nullptr, &err),
                  err);
    share.given = false;
}

size_t CLContext::fixedbytes(GLuint buf) const {
    auto found = glbuffers.find(buf);
    return found != glbuffers.end() && found->second.mapping ? found->second.bytes : 0;
}

cl_mem CLContext::sharedMem(GLuint buf, size_t bytes) {
    auto found = glbuffers.find(buf);
    if (found != glbuffers.end()) return found->second.mem;
    cl_int err = CL_SUCCESS;
    cl_mem mem = nullptr;
    if (_mapped) {
        glshare& share = glbuffers[buf] = glshare{nullptr, bytes, false, false};
        glshared.push_back(mapstorage(buf, share));
        return share.mem;
    }
    if (_native) {
        mem = clCreateFromGLBuffer(_context, CL_MEM_READ_WRITE, buf, &err);
        clcheck(err, "glbuffers[b.buf] = (clCreateFromGLBuffer(context->context(), memflags, b.buf, &err));");
    } else {
        // The GL contents are taken in at the next acquire.
        CLCHECKED_ERR(mem = clCreateBuffer(_context, CL_MEM_READ_WRITE, bytes, nullptr, &err), err);
    }
    glshared.push_back(mem);
    glbuffers[buf] = glshare{mem, bytes, true, false};
    return mem;
}

cl_mem CLContext::hostMem(float* data, int n) {
    auto found = buffers.find(data);
    if (found != buffers.end()) return found->second;
    cl_int err = CL_SUCCESS;
    cl_mem mem = clCreateBuffer(_context, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR, size_t(n) * sizeof(float),
                                data, &err);
    clcheck(err, "buffers[data] = (clCreateBuffer(context->context(), memflags, size*sizeof(ContentType), data, &err));");
    buffers[data] = mem;
    return mem;
}

void CLContext::glchanged(GLuint buf) {
    auto found = glbuffers.find(buf);
    if (found != glbuffers.end()) found->second.glnewer = true;
}

void CLContext::kernelgiven(GLuint buf) {
    auto found = glbuffers.find(buf);
    if (found == glbuffers.end()) return;
    glshare& share = found->second;
    // The device takes the mapped storage before the kernel runs on it.
    if (share.mapping && !share.given)
        CLCHECKED(clEnqueueUnmapMemObject(_queue, share.mem, share.mapping, 0, nullptr, nullptr));
    share.given = true;
}

void CLContext::forgetgl(GLuint buf) {
    auto found = glbuffers.find(buf);
    if (found == glbuffers.end()) return;
    cl_mem mem = found->second.mem;
    if (found->second.mapping) {
        // GL frees the storage with the buffer: OpenCL must be done with it first.
        if (!found->second.given)
            CLCHECKED(clEnqueueUnmapMemObject(_queue, mem, found->second.mapping, 0, nullptr, nullptr));
        CLCHECKED(clFinish(_queue));
    }
    glbuffers.erase(found);
    glshared.erase(std::find(glshared.begin(), glshared.end(), mem));
    CLCHECKED(clReleaseMemObject(mem));
}

void CLContext::forgethost(const float* data) {
    auto found = buffers.find(data);
    if (found == buffers.end()) return;
    cl_mem mem = found->second;
    buffers.erase(found);
    CLCHECKED(clReleaseMemObject(mem));
}

}  // namespace talvo
