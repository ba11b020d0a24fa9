// A strict stand-in for an OpenCL driver's cl_khr_gl_sharing, loaded with LD_PRELOAD in front of
// the OpenCL loader, so that the native sharing path runs on a machine whose drivers lack it
// (PoCL, llvmpipe). The PoCL devices list the extension; GL buffers get plain PoCL buffers as
// memory objects; acquire copies in what GL changed, and the results reach GL only once clFinish
// (or a wait on the release's event) has returned. Everything else is forwarded.
//
// It is stricter than a real driver: every use the extension leaves undefined ends the process
// with one line "cl_khr_gl_sharing violation: <rule> in <call>" and status 86.
//
// GL is reached through libepoxy and GLFW, which resolve entry points with dlsym on libGL's
// handle and with glXGetProcAddressARB: both are interposed, and hand out the hooks below for
// the GL and GLX calls the rules need. The layer's own GL work (checking buffers, copying)
// runs on a thread of its own with a context in the GL context's share group, so that it never
// disturbs a thread of the program.
//
// TALVO_INTEROP_DEVICE picks what GL "runs on": unset or 0 the first PoCL device, 1 the second
// (a hybrid laptop), "none" no device at all.
#define CL_TARGET_OPENCL_VERSION 120
#define CL_USE_DEPRECATED_OPENCL_1_1_APIS
#define GL_GLEXT_PROTOTYPES 0
#include <CL/cl.h>
#include <CL/cl_gl.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <GL/glxext.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int violationstatus = 86;

[[noreturn]] void violation(const std::string& rule, const char* call) {
    std::fprintf(stderr, "cl_khr_gl_sharing violation: %s in %s\n", rule.c_str(), call);
    std::fflush(stderr);
    _exit(violationstatus);
}

// The C library's dlsym, which the hook below stands in front of.
using dlsymfn = void* (*)(void*, const char*);
dlsymfn thedlsym = nullptr;
dlsymfn realdlsym() {
    if (!thedlsym) thedlsym = reinterpret_cast<dlsymfn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
    return thedlsym;
}

template <typename F>
F nextcl(const char* name) {
    F f = reinterpret_cast<F>(realdlsym()(RTLD_NEXT, name));
    if (!f) {
        std::fprintf(stderr, "interop layer: no %s behind it\n", name);
        _exit(violationstatus);
    }
    return f;
}
#define REAL(name) static const auto real_##name = nextcl<decltype(&name)>(#name)

void* libgl() {
    static void* handle = [] {
        void* h = dlopen("libGL.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return h ? h : dlopen("libGL.so.1", RTLD_LAZY);
    }();
    return handle;
}

using getprocfn = void (*(*)(const GLubyte*))();
getprocfn realgetproc() {
    static getprocfn real = reinterpret_cast<getprocfn>(realdlsym()(libgl(), "glXGetProcAddressARB"));
    return real;
}

template <typename F>
F realgl(const char* name) {
    return reinterpret_cast<F>(realgetproc()(reinterpret_cast<const GLubyte*>(name)));
}
#define GL(type, name) static const auto name = realgl<type>(#name)

// Everything below is guarded by one lock: the hooks run on every thread of the program.
std::recursive_mutex lock;
using guard = std::lock_guard<std::recursive_mutex>;

// GL contexts alive, by the share group they belong to (a number).
struct glxcontext {
    Display* display;
    int group;
};
std::map<GLXContext, glxcontext> contexts;
int groups = 0;
// Buffers each context touched with commands that have not been through a glFinish.
std::map<GLXContext, std::set<GLuint>> unfinished;
// A context sees what another context changed in a buffer only once it binds the buffer again:
// the last change of each buffer of a share group (its context and serial number), and the
// serial number at which each context last bound each buffer.
struct change {
    GLXContext by;
    unsigned long serial;
};
std::map<std::pair<int, GLuint>, change> changes;
std::map<std::pair<GLXContext, GLuint>, unsigned long> bindings;
unsigned long serials = 0;

// A thread of the layer with its own GL context in the share group of a sharing OpenCL
// context: it checks GL buffers and copies between them and their memory objects.
class glworker {
public:
    glworker(Display* display, GLXContext share) : thread([this, display, share] { serve(display, share); }) {
        std::unique_lock<std::mutex> wait(jobs);
        changed.wait(wait, [this] { return started; });
        if (!ready) violation("the layer's own GL context could not be made", "clCreateContext");
    }
    // Runs the job on the worker's context and waits for it.
    void run(const std::function<void()>& job) {
        std::unique_lock<std::mutex> wait(jobs);
        pending = &job;
        changed.notify_all();
        changed.wait(wait, [this] { return !pending; });
    }

private:
    void serve(Display* display, GLXContext share) {
        int id = 0, screen = 0, count = 0;
        using querycontext = int (*)(Display*, GLXContext, int, int*);
        using chooseconfig = GLXFBConfig* (*)(Display*, int, const int*, int*);
        using makecurrent = Bool (*)(Display*, GLXDrawable, GLXDrawable, GLXContext);
        const auto query = reinterpret_cast<querycontext>(realdlsym()(libgl(), "glXQueryContext"));
        const auto choose = reinterpret_cast<chooseconfig>(realdlsym()(libgl(), "glXChooseFBConfig"));
        const auto current = reinterpret_cast<makecurrent>(realdlsym()(libgl(), "glXMakeContextCurrent"));
        const auto create = realgl<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
        query(display, share, GLX_FBCONFIG_ID, &id);
        query(display, share, GLX_SCREEN, &screen);
        const int wanted[] = {GLX_FBCONFIG_ID, id, None};
        GLXFBConfig* configs = choose(display, screen, wanted, &count);
        const int attributes[] = {GLX_CONTEXT_MAJOR_VERSION_ARB, 3, GLX_CONTEXT_MINOR_VERSION_ARB, 3,
                                  GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
        GLXContext own = configs && count > 0 ? create(display, configs[0], share, True, attributes) : nullptr;
        {
            std::lock_guard<std::mutex> hold(jobs);
            ready = own && current(display, None, None, own);
            started = true;
            changed.notify_all();
        }
        for (;;) {
            std::unique_lock<std::mutex> wait(jobs);
            changed.wait(wait, [this] { return pending != nullptr; });
            (*pending)();
            pending = nullptr;
            changed.notify_all();
        }
    }

    std::mutex jobs;
    std::condition_variable changed;
    bool started = false, ready = false;
    const std::function<void()>* pending = nullptr;
    std::thread thread;
};

struct clcontext {
    GLXContext gl;
    int group;
    glworker* worker;
    int references;
};
std::map<cl_context, clcontext> clcontexts;

enum class holder { gl, cl, releasing };
struct glmem {
    GLuint buf;
    size_t bytes;
    cl_context context;
    int references;
    holder held = holder::gl;
    bool written = false;  // OpenCL may have written it since the acquire
    bool glnewer = true;   // GL wrote it since OpenCL last took in its contents
    cl_command_queue queue = nullptr;
    cl_event released = nullptr;  // the release's event, when the program asked for one
};
std::map<cl_mem, glmem> mems;
// GL memory objects given to each kernel, by argument index.
std::map<cl_kernel, std::map<cl_uint, cl_mem>> kernelargs;

glmem* glmemof(cl_mem mem) {
    auto found = mems.find(mem);
    return found == mems.end() ? nullptr : &found->second;
}

// The memory object of a GL buffer in a share group, if one lives.
glmem* memofbuffer(int group, GLuint buf) {
    for (auto& [mem, m] : mems) {
        auto context = clcontexts.find(m.context);
        if (m.buf == buf && context != clcontexts.end() && context->second.group == group) return &m;
    }
    return nullptr;
}

// The share group of the calling thread's GL context, -1 without one we know.
GLXContext currentgl() {
    using getcurrent = GLXContext (*)();
    static const auto get = reinterpret_cast<getcurrent>(realdlsym()(libgl(), "glXGetCurrentContext"));
    return get();
}
int currentgroup() {
    auto found = contexts.find(currentgl());
    return found == contexts.end() ? -1 : found->second.group;
}

// PoCL's devices: the ones that list the extension, of which GL runs on one.
bool ispocl(cl_platform_id platform) {
    char name[256] = "";
    REAL(clGetPlatformInfo);
    real_clGetPlatformInfo(platform, CL_PLATFORM_NAME, sizeof name, name, nullptr);
    return std::strcmp(name, "Portable Computing Language") == 0;
}
cl_platform_id platformof(cl_device_id device) {
    REAL(clGetDeviceInfo);
    cl_platform_id platform = nullptr;
    real_clGetDeviceInfo(device, CL_DEVICE_PLATFORM, sizeof platform, &platform, nullptr);
    return platform;
}
// The device GL runs on, null for none.
cl_device_id gldevice(cl_platform_id platform) {
    const char* choice = std::getenv("TALVO_INTEROP_DEVICE");
    if (choice && std::strcmp(choice, "none") == 0) return nullptr;
    const cl_uint index = choice ? cl_uint(std::atoi(choice)) : 0;
    REAL(clGetDeviceIDs);
    cl_device_id devices[8] = {};
    cl_uint count = 0;
    if (real_clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 8, devices, &count) != CL_SUCCESS || index >= count)
        return nullptr;
    return devices[index];
}

// The GL context and display the properties name; false when they name none.
bool glproperties(const cl_context_properties* props, GLXContext* gl, Display** display, cl_platform_id* platform) {
    *gl = nullptr;
    *display = nullptr;
    bool any = false;
    for (; props && props[0]; props += 2) {
        if (props[0] == CL_GL_CONTEXT_KHR) *gl = reinterpret_cast<GLXContext>(props[1]), any = true;
        if (props[0] == CL_GLX_DISPLAY_KHR) *display = reinterpret_cast<Display*>(props[1]), any = true;
        if (props[0] == CL_CONTEXT_PLATFORM && platform) *platform = reinterpret_cast<cl_platform_id>(props[1]);
    }
    return any;
}
bool livecontext(GLXContext gl, Display* display) {
    auto found = contexts.find(gl);
    return gl && found != contexts.end() && found->second.display == display;
}

// The GL buffers bound to a target of the calling thread's context.
GLuint boundto(GLenum target) {
    GL(decltype(&::glGetIntegerv), glGetIntegerv);
    GLenum binding = 0;
    switch (target) {
    case GL_ARRAY_BUFFER: binding = GL_ARRAY_BUFFER_BINDING; break;
    case GL_ELEMENT_ARRAY_BUFFER: binding = GL_ELEMENT_ARRAY_BUFFER_BINDING; break;
    case GL_COPY_READ_BUFFER: binding = GL_COPY_READ_BUFFER_BINDING; break;
    case GL_COPY_WRITE_BUFFER: binding = GL_COPY_WRITE_BUFFER_BINDING; break;
    case GL_PIXEL_PACK_BUFFER: binding = GL_PIXEL_PACK_BUFFER_BINDING; break;
    case GL_PIXEL_UNPACK_BUFFER: binding = GL_PIXEL_UNPACK_BUFFER_BINDING; break;
    case GL_TEXTURE_BUFFER: binding = GL_TEXTURE_BUFFER_BINDING; break;
    case GL_UNIFORM_BUFFER: binding = GL_UNIFORM_BUFFER_BINDING; break;
    case GL_TRANSFORM_FEEDBACK_BUFFER: binding = GL_TRANSFORM_FEEDBACK_BUFFER_BINDING; break;
    default: return 0;
    }
    GLint buf = 0;
    glGetIntegerv(binding, &buf);
    return GLuint(buf);
}

// A GL command on buf: OpenCL must not hold it, and acquiring it later needs a glFinish first.
void gltouches(GLuint buf, const char* call, bool writes = false) {
    if (!buf) return;
    const int group = currentgroup();
    if (group < 0) return;
    if (glmem* m = memofbuffer(group, buf)) {
        if (m->held == holder::cl) violation("GL used buffer " + std::to_string(buf) + " while OpenCL holds it", call);
        if (m->held == holder::releasing)
            violation("GL used buffer " + std::to_string(buf) +
                          " before clFinish or a wait on its release returned",
                      call);
        m->glnewer = m->glnewer || writes;
    }
    const GLXContext gl = currentgl();
    auto changed = changes.find({group, buf});
    if (!writes && changed != changes.end() && changed->second.by != gl &&
        bindings[{gl, buf}] < changed->second.serial)
        violation("buffer " + std::to_string(buf) + " read without binding it again since another context changed it",
                  call);
    if (writes) changes[{group, buf}] = {gl, ++serials};
    unfinished[gl].insert(buf);
}

// The buffers a draw reads: the vertex array's enabled attributes and its element buffer.
void drawtouches(const char* call, bool elements) {
    GL(decltype(&::glGetIntegerv), glGetIntegerv);
    GL(PFNGLGETVERTEXATTRIBIVPROC, glGetVertexAttribiv);
    static GLint attributes = [] {
        GLint n = 0;
        glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &n);
        return n;
    }();
    for (GLint i = 0; i < attributes; ++i) {
        GLint enabled = 0, buf = 0;
        glGetVertexAttribiv(GLuint(i), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        if (!enabled) continue;
        glGetVertexAttribiv(GLuint(i), GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buf);
        gltouches(GLuint(buf), call);
    }
    if (elements) gltouches(boundto(GL_ELEMENT_ARRAY_BUFFER), call);
}

// A GL buffer's storage is about to be re-specified or deleted.
void glreplaces(GLuint buf, const char* call, const char* what) {
    const int group = currentgroup();
    if (group >= 0 && memofbuffer(group, buf))
        violation(std::string("buffer ") + std::to_string(buf) + " " + what + " while its memory object lives", call);
}

// ---- GL and GLX hooks, handed out by dlsym and glXGetProcAddressARB ----

void hook_glBindBuffer(GLenum target, GLuint buf) {
    GL(PFNGLBINDBUFFERPROC, glBindBuffer);
    {
        guard hold(lock);
        if (buf) bindings[{currentgl(), buf}] = serials;
    }
    glBindBuffer(target, buf);
}

void hook_glFinish() {
    GL(decltype(&::glFinish), glFinish);
    glFinish();
    guard hold(lock);
    unfinished.erase(currentgl());
}

void hook_glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    GL(decltype(&::glDrawArrays), glDrawArrays);
    {
        guard hold(lock);
        drawtouches("glDrawArrays", false);
    }
    glDrawArrays(mode, first, count);
}
void hook_glDrawArraysInstanced(GLenum mode, GLint first, GLsizei count, GLsizei instances) {
    GL(PFNGLDRAWARRAYSINSTANCEDPROC, glDrawArraysInstanced);
    {
        guard hold(lock);
        drawtouches("glDrawArraysInstanced", false);
    }
    glDrawArraysInstanced(mode, first, count, instances);
}
void hook_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    GL(decltype(&::glDrawElements), glDrawElements);
    {
        guard hold(lock);
        drawtouches("glDrawElements", true);
    }
    glDrawElements(mode, count, type, indices);
}
void hook_glDrawElementsInstanced(GLenum mode, GLsizei count, GLenum type, const void* indices, GLsizei n) {
    GL(PFNGLDRAWELEMENTSINSTANCEDPROC, glDrawElementsInstanced);
    {
        guard hold(lock);
        drawtouches("glDrawElementsInstanced", true);
    }
    glDrawElementsInstanced(mode, count, type, indices, n);
}
void hook_glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
    GL(PFNGLBUFFERDATAPROC, glBufferData);
    {
        guard hold(lock);
        const GLuint buf = boundto(target);
        glreplaces(buf, "glBufferData", "re-specified");
        gltouches(buf, "glBufferData");
    }
    glBufferData(target, size, data, usage);
}
void hook_glBufferStorage(GLenum target, GLsizeiptr size, const void* data, GLbitfield flags) {
    GL(PFNGLBUFFERSTORAGEPROC, glBufferStorage);
    {
        guard hold(lock);
        const GLuint buf = boundto(target);
        glreplaces(buf, "glBufferStorage", "re-specified");
        gltouches(buf, "glBufferStorage");
    }
    glBufferStorage(target, size, data, flags);
}
void hook_glBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data) {
    GL(PFNGLBUFFERSUBDATAPROC, glBufferSubData);
    {
        guard hold(lock);
        gltouches(boundto(target), "glBufferSubData", true);
    }
    glBufferSubData(target, offset, size, data);
}
void hook_glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void* data) {
    GL(PFNGLGETBUFFERSUBDATAPROC, glGetBufferSubData);
    {
        guard hold(lock);
        gltouches(boundto(target), "glGetBufferSubData");
    }
    glGetBufferSubData(target, offset, size, data);
}
void hook_glCopyBufferSubData(GLenum read, GLenum write, GLintptr from, GLintptr to, GLsizeiptr size) {
    GL(PFNGLCOPYBUFFERSUBDATAPROC, glCopyBufferSubData);
    {
        guard hold(lock);
        gltouches(boundto(read), "glCopyBufferSubData");
        gltouches(boundto(write), "glCopyBufferSubData", true);
    }
    glCopyBufferSubData(read, write, from, to, size);
}
void* hook_glMapBufferRange(GLenum target, GLintptr offset, GLsizeiptr length, GLbitfield access) {
    GL(PFNGLMAPBUFFERRANGEPROC, glMapBufferRange);
    {
        guard hold(lock);
        gltouches(boundto(target), "glMapBufferRange", (access & GL_MAP_WRITE_BIT) != 0);
    }
    return glMapBufferRange(target, offset, length, access);
}
void* hook_glMapBuffer(GLenum target, GLenum access) {
    GL(PFNGLMAPBUFFERPROC, glMapBuffer);
    {
        guard hold(lock);
        gltouches(boundto(target), "glMapBuffer", access != GL_READ_ONLY);
    }
    return glMapBuffer(target, access);
}
void hook_glDeleteBuffers(GLsizei n, const GLuint* bufs) {
    GL(PFNGLDELETEBUFFERSPROC, glDeleteBuffers);
    {
        guard hold(lock);
        for (GLsizei i = 0; i < n; ++i) glreplaces(bufs[i], "glDeleteBuffers", "deleted");
        for (auto& [context, bufset] : unfinished)
            for (GLsizei i = 0; i < n; ++i) bufset.erase(bufs[i]);
        for (GLsizei i = 0; i < n; ++i) changes.erase({currentgroup(), bufs[i]});
    }
    glDeleteBuffers(n, bufs);
}

// A new context joins its share list's group, or starts one.
GLXContext made(Display* display, GLXContext context, GLXContext share) {
    if (!context) return context;
    guard hold(lock);
    auto found = contexts.find(share);
    contexts[context] = {display, share && found != contexts.end() ? found->second.group : ++groups};
    return context;
}
GLXContext hook_glXCreateContext(Display* display, XVisualInfo* visual, GLXContext share, Bool direct) {
    static const auto real = reinterpret_cast<decltype(&glXCreateContext)>(realdlsym()(libgl(), "glXCreateContext"));
    return made(display, real(display, visual, share, direct), share);
}
GLXContext hook_glXCreateNewContext(Display* display, GLXFBConfig config, int type, GLXContext share, Bool direct) {
    static const auto real =
        reinterpret_cast<decltype(&glXCreateNewContext)>(realdlsym()(libgl(), "glXCreateNewContext"));
    return made(display, real(display, config, type, share, direct), share);
}
GLXContext hook_glXCreateContextAttribsARB(Display* display, GLXFBConfig config, GLXContext share, Bool direct,
                                           const int* attributes) {
    static const auto real = realgl<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
    return made(display, real(display, config, share, direct, attributes), share);
}
void hook_glXDestroyContext(Display* display, GLXContext context) {
    static const auto real = reinterpret_cast<decltype(&glXDestroyContext)>(realdlsym()(libgl(), "glXDestroyContext"));
    {
        guard hold(lock);
        for (const auto& [cl, c] : clcontexts)
            if (c.gl == context) violation("GL context destroyed while the OpenCL context made on it lives", "glXDestroyContext");
        contexts.erase(context);
        unfinished.erase(context);
        for (auto i = bindings.begin(); i != bindings.end();) i = i->first.first == context ? bindings.erase(i) : std::next(i);
    }
    real(display, context);
}

void (*hook_glXGetProcAddressARB(const GLubyte* name))();

// The hook for a GL or GLX name, null for names passed through. Allocates nothing: dlsym is
// called while libraries start.
void* hookfor(const char* name) {
    if (std::strncmp(name, "gl", 2) != 0) return nullptr;
    static const struct {
        const char* name;
        void* hook;
    } hooks[] = {
        {"glFinish", reinterpret_cast<void*>(hook_glFinish)},
        {"glBindBuffer", reinterpret_cast<void*>(hook_glBindBuffer)},
        {"glDrawArrays", reinterpret_cast<void*>(hook_glDrawArrays)},
        {"glDrawArraysInstanced", reinterpret_cast<void*>(hook_glDrawArraysInstanced)},
        {"glDrawElements", reinterpret_cast<void*>(hook_glDrawElements)},
        {"glDrawElementsInstanced", reinterpret_cast<void*>(hook_glDrawElementsInstanced)},
        {"glBufferData", reinterpret_cast<void*>(hook_glBufferData)},
        {"glBufferStorage", reinterpret_cast<void*>(hook_glBufferStorage)},
        {"glBufferSubData", reinterpret_cast<void*>(hook_glBufferSubData)},
        {"glGetBufferSubData", reinterpret_cast<void*>(hook_glGetBufferSubData)},
        {"glCopyBufferSubData", reinterpret_cast<void*>(hook_glCopyBufferSubData)},
        {"glMapBufferRange", reinterpret_cast<void*>(hook_glMapBufferRange)},
        {"glMapBuffer", reinterpret_cast<void*>(hook_glMapBuffer)},
        {"glDeleteBuffers", reinterpret_cast<void*>(hook_glDeleteBuffers)},
        {"glXCreateContext", reinterpret_cast<void*>(hook_glXCreateContext)},
        {"glXCreateNewContext", reinterpret_cast<void*>(hook_glXCreateNewContext)},
        {"glXCreateContextAttribsARB", reinterpret_cast<void*>(hook_glXCreateContextAttribsARB)},
        {"glXDestroyContext", reinterpret_cast<void*>(hook_glXDestroyContext)},
        {"glXGetProcAddressARB", reinterpret_cast<void*>(hook_glXGetProcAddressARB)},
        {"glXGetProcAddress", reinterpret_cast<void*>(hook_glXGetProcAddressARB)},
    };
    for (const auto& hook : hooks)
        if (std::strcmp(name, hook.name) == 0) return hook.hook;
    return nullptr;
}

void (*hook_glXGetProcAddressARB(const GLubyte* name))() {
    if (void* hook = hookfor(reinterpret_cast<const char*>(name))) return reinterpret_cast<void (*)()>(hook);
    return realgetproc()(name);
}

// ---- copies between GL and OpenCL, on the worker ----

cl_int copyin(cl_command_queue queue, cl_mem mem, const glmem& m) {
    cl_int status = CL_SUCCESS;
    clcontexts[m.context].worker->run([&] {
        GL(PFNGLBINDBUFFERPROC, glBindBuffer);
        GL(PFNGLMAPBUFFERRANGEPROC, glMapBufferRange);
        GL(PFNGLUNMAPBUFFERPROC, glUnmapBuffer);
        REAL(clEnqueueWriteBuffer);
        glBindBuffer(GL_COPY_READ_BUFFER, m.buf);
        const void* data = glMapBufferRange(GL_COPY_READ_BUFFER, 0, GLsizeiptr(m.bytes), GL_MAP_READ_BIT);
        status = data ? real_clEnqueueWriteBuffer(queue, mem, CL_TRUE, 0, m.bytes, data, 0, nullptr, nullptr)
                      : CL_OUT_OF_RESOURCES;
        glUnmapBuffer(GL_COPY_READ_BUFFER);
    });
    return status;
}

// The results of released objects reach GL: the program has waited for OpenCL.
void handback(const std::vector<cl_mem>& done) {
    std::map<glworker*, std::vector<cl_mem>> byworker;
    for (cl_mem mem : done) {
        glmem& m = mems[mem];
        if (m.written) {
            byworker[clcontexts[m.context].worker].push_back(mem);
            // What OpenCL wrote, GL has as a change made in the context OpenCL shares with.
            changes[{clcontexts[m.context].group, m.buf}] = {clcontexts[m.context].gl, ++serials};
        }
        m.held = holder::gl;
        m.written = false;
        if (m.released) {
            REAL(clReleaseEvent);
            real_clReleaseEvent(m.released);
            m.released = nullptr;
        }
    }
    for (auto& [worker, list] : byworker)
        worker->run([&] {
            GL(PFNGLBINDBUFFERPROC, glBindBuffer);
            GL(PFNGLMAPBUFFERRANGEPROC, glMapBufferRange);
            GL(PFNGLUNMAPBUFFERPROC, glUnmapBuffer);
            GL(decltype(&::glFinish), glFinish);
            REAL(clEnqueueReadBuffer);
            for (cl_mem mem : list) {
                const glmem& m = mems[mem];
                glBindBuffer(GL_COPY_WRITE_BUFFER, m.buf);
                void* data = glMapBufferRange(GL_COPY_WRITE_BUFFER, 0, GLsizeiptr(m.bytes),
                                              GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
                if (!data || real_clEnqueueReadBuffer(m.queue, mem, CL_TRUE, 0, m.bytes, data, 0, nullptr, nullptr) !=
                                 CL_SUCCESS)
                    violation("the layer could not hand buffer " + std::to_string(m.buf) + " back", "clFinish");
                glUnmapBuffer(GL_COPY_WRITE_BUFFER);
            }
            // Complete before any other context of the group reads them.
            glFinish();
        });
}

// An OpenCL command uses the memory object: it must be acquired.
void cluses(cl_mem mem, const char* call, bool writes) {
    glmem* m = glmemof(mem);
    if (!m) return;
    if (m->held != holder::cl)
        violation("buffer " + std::to_string(m->buf) + "'s memory object used while not acquired", call);
    m->written = m->written || writes;
}

cl_context contextof(cl_command_queue queue) {
    REAL(clGetCommandQueueInfo);
    cl_context context = nullptr;
    real_clGetCommandQueueInfo(queue, CL_QUEUE_CONTEXT, sizeof context, &context, nullptr);
    return context;
}

// The checks an acquire or a release makes first: the list, the queue's context, then each
// object's own, after which `check` looks at the object's state. Under the lock.
template <typename Check>
cl_int checkobjects(cl_command_queue queue, cl_uint n, const cl_mem* objects, Check check) {
    if ((n == 0) != (objects == nullptr)) return CL_INVALID_VALUE;
    const cl_context context = contextof(queue);
    if (!clcontexts.count(context)) return CL_INVALID_CONTEXT;
    for (cl_uint i = 0; i < n; ++i) {
        glmem* m = glmemof(objects[i]);
        if (!m) return CL_INVALID_MEM_OBJECT;
        if (m->context != context) return CL_INVALID_CONTEXT;
        check(*m, context);
    }
    return CL_SUCCESS;
}

// Answers a query of an extension list: the driver's `listed`, and cl_khr_gl_sharing.
cl_int withsharing(const std::string& listed, size_t size, void* value, size_t* returned) {
    const std::string extensions = listed + " cl_khr_gl_sharing";
    if (returned) *returned = extensions.size() + 1;
    if (value) {
        if (size < extensions.size() + 1) return CL_INVALID_VALUE;
        std::memcpy(value, extensions.c_str(), extensions.size() + 1);
    }
    return CL_SUCCESS;
}

}  // namespace

extern "C" {

// Ends in a tail call, so that the C library's dlsym sees the caller's return address and
// RTLD_NEXT keeps its meaning for the caller.
__attribute__((visibility("default"))) void* dlsym(void* handle, const char* name) {
    if (void* hook = hookfor(name)) return hook;
    return realdlsym()(handle, name);
}

__attribute__((visibility("default"))) void (*glXGetProcAddressARB(const GLubyte* name))() {
    return hook_glXGetProcAddressARB(name);
}

// ---- OpenCL: the extension's entry points ----

cl_int clGetGLContextInfoKHR(const cl_context_properties* props, cl_gl_context_info name, size_t size, void* value,
                             size_t* returned) {
    guard hold(lock);
    GLXContext gl = nullptr;
    Display* display = nullptr;
    cl_platform_id platform = nullptr;
    glproperties(props, &gl, &display, &platform);
    if (!livecontext(gl, display)) return CL_INVALID_GL_SHAREGROUP_REFERENCE_KHR;
    if (name != CL_CURRENT_DEVICE_FOR_GL_CONTEXT_KHR && name != CL_DEVICES_FOR_GL_CONTEXT_KHR) return CL_INVALID_VALUE;
    if (!platform || !ispocl(platform)) return CL_INVALID_PLATFORM;
    const cl_device_id device = gldevice(platform);
    const size_t bytes = device ? sizeof device : 0;
    if (returned) *returned = bytes;
    if (value && bytes) {
        if (size < bytes) return CL_INVALID_VALUE;
        std::memcpy(value, &device, bytes);
    }
    return CL_SUCCESS;
}

cl_mem clCreateFromGLBuffer(cl_context context, cl_mem_flags flags, cl_GLuint buf, cl_int* err) {
    guard hold(lock);
    auto set = [&](cl_int status) {
        if (err) *err = status;
        return nullptr;
    };
    auto found = clcontexts.find(context);
    if (found == clcontexts.end()) return set(CL_INVALID_CONTEXT);
    if (flags != CL_MEM_READ_ONLY && flags != CL_MEM_WRITE_ONLY && flags != CL_MEM_READ_WRITE)
        return set(CL_INVALID_VALUE);
    GLint size = 0;
    found->second.worker->run([&] {
        GL(PFNGLISBUFFERPROC, glIsBuffer);
        GL(PFNGLBINDBUFFERPROC, glBindBuffer);
        GL(PFNGLGETBUFFERPARAMETERIVPROC, glGetBufferParameteriv);
        if (!glIsBuffer(buf)) return;
        glBindBuffer(GL_COPY_READ_BUFFER, buf);
        glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &size);
        glBindBuffer(GL_COPY_READ_BUFFER, 0);
    });
    if (size <= 0) return set(CL_INVALID_GL_OBJECT);
    REAL(clCreateBuffer);
    cl_int status = CL_SUCCESS;
    cl_mem mem = real_clCreateBuffer(context, flags, size_t(size), nullptr, &status);
    if (!mem) return set(status);
    mems[mem] = glmem{buf, size_t(size), context, 1};
    set(CL_SUCCESS);
    return mem;
}

cl_int clGetGLObjectInfo(cl_mem mem, cl_gl_object_type* type, cl_GLuint* name) {
    guard hold(lock);
    glmem* m = glmemof(mem);
    if (!m) return CL_INVALID_GL_OBJECT;
    if (type) *type = CL_GL_OBJECT_BUFFER;
    if (name) *name = m->buf;
    return CL_SUCCESS;
}

cl_int clEnqueueAcquireGLObjects(cl_command_queue queue, cl_uint n, const cl_mem* objects, cl_uint waits,
                                 const cl_event* waitlist, cl_event* event) {
    guard hold(lock);
    const cl_int checked = checkobjects(queue, n, objects, [](const glmem& m, cl_context context) {
        if (m.held == holder::cl)
            violation("buffer " + std::to_string(m.buf) + " acquired while already acquired",
                      "clEnqueueAcquireGLObjects");
        for (const auto& [gl, bufs] : unfinished)
            if (contexts.count(gl) && contexts[gl].group == clcontexts[context].group && bufs.count(m.buf))
                violation("GL work on buffer " + std::to_string(m.buf) +
                              " not finished (glFinish on the context that issued it) before the acquire",
                          "clEnqueueAcquireGLObjects");
    });
    if (checked != CL_SUCCESS) return checked;
    if (waits) {
        REAL(clWaitForEvents);
        if (cl_int status = real_clWaitForEvents(waits, waitlist)) return status;
    }
    for (cl_uint i = 0; i < n; ++i) {
        glmem& m = mems[objects[i]];
        // Released but not yet waited for, or unchanged by GL since OpenCL had it: OpenCL
        // holds the newest contents already.
        if (m.held == holder::gl && m.glnewer)
            if (cl_int status = copyin(queue, objects[i], m)) return status;
        m.glnewer = false;
        if (m.released) {
            REAL(clReleaseEvent);
            real_clReleaseEvent(m.released);
            m.released = nullptr;
        }
        m.held = holder::cl;
        m.queue = queue;
    }
    if (event) {
        REAL(clEnqueueMarkerWithWaitList);
        return real_clEnqueueMarkerWithWaitList(queue, 0, nullptr, event);
    }
    return CL_SUCCESS;
}

cl_int clEnqueueReleaseGLObjects(cl_command_queue queue, cl_uint n, const cl_mem* objects, cl_uint waits,
                                 const cl_event* waitlist, cl_event* event) {
    guard hold(lock);
    const cl_int checked = checkobjects(queue, n, objects, [](const glmem& m, cl_context) {
        if (m.held != holder::cl)
            violation("buffer " + std::to_string(m.buf) + " released while not acquired", "clEnqueueReleaseGLObjects");
    });
    if (checked != CL_SUCCESS) return checked;
    REAL(clEnqueueMarkerWithWaitList);
    cl_event marker = nullptr;
    if (cl_int status = real_clEnqueueMarkerWithWaitList(queue, waits, waitlist, event ? &marker : nullptr))
        return status;
    for (cl_uint i = 0; i < n; ++i) {
        glmem& m = mems[objects[i]];
        m.held = holder::releasing;
        if (marker) {
            REAL(clRetainEvent);
            real_clRetainEvent(marker);
            m.released = marker;
        }
    }
    if (event) *event = marker;
    return CL_SUCCESS;
}

// ---- OpenCL: what the extension changes in core calls ----

cl_int clGetPlatformInfo(cl_platform_id platform, cl_platform_info name, size_t size, void* value, size_t* returned) {
    REAL(clGetPlatformInfo);
    if (name != CL_PLATFORM_EXTENSIONS || !ispocl(platform))
        return real_clGetPlatformInfo(platform, name, size, value, returned);
    char listed[4096] = "";
    if (cl_int status = real_clGetPlatformInfo(platform, name, sizeof listed, listed, nullptr)) return status;
    return withsharing(listed, size, value, returned);
}

cl_int clGetDeviceInfo(cl_device_id device, cl_device_info name, size_t size, void* value, size_t* returned) {
    REAL(clGetDeviceInfo);
    if (name != CL_DEVICE_EXTENSIONS || !ispocl(platformof(device)))
        return real_clGetDeviceInfo(device, name, size, value, returned);
    size_t length = 0;
    if (cl_int status = real_clGetDeviceInfo(device, name, 0, nullptr, &length)) return status;
    std::string listed(length, '\0');
    if (cl_int status = real_clGetDeviceInfo(device, name, length, &listed[0], nullptr)) return status;
    return withsharing(listed.c_str(), size, value, returned);
}

void* clGetExtensionFunctionAddressForPlatform(cl_platform_id platform, const char* name) {
    if (std::strcmp(name, "clGetGLContextInfoKHR") == 0) return reinterpret_cast<void*>(clGetGLContextInfoKHR);
    if (std::strcmp(name, "clCreateFromGLBuffer") == 0) return reinterpret_cast<void*>(clCreateFromGLBuffer);
    REAL(clGetExtensionFunctionAddressForPlatform);
    return real_clGetExtensionFunctionAddressForPlatform(platform, name);
}

cl_context clCreateContext(const cl_context_properties* props, cl_uint n, const cl_device_id* devices,
                           void(CL_CALLBACK* notify)(const char*, const void*, size_t, void*), void* data,
                           cl_int* err) {
    REAL(clCreateContext);
    guard hold(lock);
    GLXContext gl = nullptr;
    Display* display = nullptr;
    cl_platform_id platform = nullptr;
    if (!glproperties(props, &gl, &display, &platform))
        return real_clCreateContext(props, n, devices, notify, data, err);
    auto fail = [&](cl_int status) {
        if (err) *err = status;
        return nullptr;
    };
    if (!livecontext(gl, display)) return fail(CL_INVALID_GL_SHAREGROUP_REFERENCE_KHR);
    // Only the device GL runs on can share with it.
    for (cl_uint i = 0; i < n; ++i)
        if (!ispocl(platformof(devices[i])) || devices[i] != gldevice(platformof(devices[i])))
            return fail(CL_INVALID_OPERATION);
    // PoCL is given the properties without the GL handles.
    std::vector<cl_context_properties> plain;
    for (const cl_context_properties* p = props; p[0]; p += 2)
        if (p[0] != CL_GL_CONTEXT_KHR && p[0] != CL_GLX_DISPLAY_KHR) plain.insert(plain.end(), {p[0], p[1]});
    plain.push_back(0);
    cl_context context = real_clCreateContext(plain.data(), n, devices, notify, data, err);
    if (context) clcontexts[context] = {gl, contexts[gl].group, new glworker(display, gl), 1};
    return context;
}

cl_int clRetainContext(cl_context context) {
    REAL(clRetainContext);
    guard hold(lock);
    auto found = clcontexts.find(context);
    if (found != clcontexts.end()) ++found->second.references;
    return real_clRetainContext(context);
}

cl_int clReleaseContext(cl_context context) {
    REAL(clReleaseContext);
    guard hold(lock);
    auto found = clcontexts.find(context);
    if (found != clcontexts.end() && --found->second.references == 0) {
        for (const auto& [mem, m] : mems)
            if (m.context == context && m.held == holder::cl)
                violation("context released while buffer " + std::to_string(m.buf) + " is acquired",
                          "clReleaseContext");
        // The worker stays: its context shares with the program's GL context until the end.
        clcontexts.erase(found);
    }
    return real_clReleaseContext(context);
}

cl_int clRetainMemObject(cl_mem mem) {
    REAL(clRetainMemObject);
    guard hold(lock);
    if (glmem* m = glmemof(mem)) ++m->references;
    return real_clRetainMemObject(mem);
}

cl_int clReleaseMemObject(cl_mem mem) {
    REAL(clReleaseMemObject);
    guard hold(lock);
    if (glmem* m = glmemof(mem); m && --m->references == 0) {
        if (m->released) {
            REAL(clReleaseEvent);
            real_clReleaseEvent(m->released);
        }
        mems.erase(mem);
        for (auto& [kernel, args] : kernelargs)
            for (auto i = args.begin(); i != args.end();) i = i->second == mem ? args.erase(i) : std::next(i);
    }
    return real_clReleaseMemObject(mem);
}

cl_int clSetKernelArg(cl_kernel kernel, cl_uint index, size_t size, const void* value) {
    REAL(clSetKernelArg);
    guard hold(lock);
    const cl_mem mem = size == sizeof(cl_mem) && value ? *static_cast<const cl_mem*>(value) : nullptr;
    if (mem && glmemof(mem))
        kernelargs[kernel][index] = mem;
    else if (auto found = kernelargs.find(kernel); found != kernelargs.end())
        found->second.erase(index);
    return real_clSetKernelArg(kernel, index, size, value);
}

cl_int clReleaseKernel(cl_kernel kernel) {
    REAL(clReleaseKernel);
    REAL(clGetKernelInfo);
    guard hold(lock);
    cl_uint references = 0;
    real_clGetKernelInfo(kernel, CL_KERNEL_REFERENCE_COUNT, sizeof references, &references, nullptr);
    if (references == 1) kernelargs.erase(kernel);
    return real_clReleaseKernel(kernel);
}

cl_int clEnqueueNDRangeKernel(cl_command_queue queue, cl_kernel kernel, cl_uint dims, const size_t* offset,
                              const size_t* global, const size_t* local, cl_uint waits, const cl_event* waitlist,
                              cl_event* event) {
    REAL(clEnqueueNDRangeKernel);
    {
        guard hold(lock);
        if (auto found = kernelargs.find(kernel); found != kernelargs.end())
            for (const auto& [index, mem] : found->second) cluses(mem, "clEnqueueNDRangeKernel", true);
    }
    return real_clEnqueueNDRangeKernel(queue, kernel, dims, offset, global, local, waits, waitlist, event);
}

cl_int clEnqueueTask(cl_command_queue queue, cl_kernel kernel, cl_uint waits, const cl_event* waitlist,
                     cl_event* event) {
    REAL(clEnqueueTask);
    {
        guard hold(lock);
        if (auto found = kernelargs.find(kernel); found != kernelargs.end())
            for (const auto& [index, mem] : found->second) cluses(mem, "clEnqueueTask", true);
    }
    return real_clEnqueueTask(queue, kernel, waits, waitlist, event);
}

cl_int clEnqueueReadBuffer(cl_command_queue queue, cl_mem mem, cl_bool blocking, size_t offset, size_t size,
                           void* data, cl_uint waits, const cl_event* waitlist, cl_event* event) {
    REAL(clEnqueueReadBuffer);
    {
        guard hold(lock);
        cluses(mem, "clEnqueueReadBuffer", false);
    }
    return real_clEnqueueReadBuffer(queue, mem, blocking, offset, size, data, waits, waitlist, event);
}

cl_int clEnqueueWriteBuffer(cl_command_queue queue, cl_mem mem, cl_bool blocking, size_t offset, size_t size,
                            const void* data, cl_uint waits, const cl_event* waitlist, cl_event* event) {
    REAL(clEnqueueWriteBuffer);
    {
        guard hold(lock);
        cluses(mem, "clEnqueueWriteBuffer", true);
    }
    return real_clEnqueueWriteBuffer(queue, mem, blocking, offset, size, data, waits, waitlist, event);
}

cl_int clEnqueueCopyBuffer(cl_command_queue queue, cl_mem from, cl_mem to, size_t fromoffset, size_t tooffset,
                           size_t size, cl_uint waits, const cl_event* waitlist, cl_event* event) {
    REAL(clEnqueueCopyBuffer);
    {
        guard hold(lock);
        cluses(from, "clEnqueueCopyBuffer", false);
        cluses(to, "clEnqueueCopyBuffer", true);
    }
    return real_clEnqueueCopyBuffer(queue, from, to, fromoffset, tooffset, size, waits, waitlist, event);
}

cl_int clEnqueueFillBuffer(cl_command_queue queue, cl_mem mem, const void* pattern, size_t patternsize, size_t offset,
                           size_t size, cl_uint waits, const cl_event* waitlist, cl_event* event) {
    REAL(clEnqueueFillBuffer);
    {
        guard hold(lock);
        cluses(mem, "clEnqueueFillBuffer", true);
    }
    return real_clEnqueueFillBuffer(queue, mem, pattern, patternsize, offset, size, waits, waitlist, event);
}

void* clEnqueueMapBuffer(cl_command_queue queue, cl_mem mem, cl_bool blocking, cl_map_flags flags, size_t offset,
                         size_t size, cl_uint waits, const cl_event* waitlist, cl_event* event, cl_int* err) {
    REAL(clEnqueueMapBuffer);
    {
        guard hold(lock);
        cluses(mem, "clEnqueueMapBuffer", (flags & CL_MAP_READ) != flags);
    }
    return real_clEnqueueMapBuffer(queue, mem, blocking, flags, offset, size, waits, waitlist, event, err);
}

cl_int clFinish(cl_command_queue queue) {
    REAL(clFinish);
    const cl_int status = real_clFinish(queue);
    guard hold(lock);
    std::vector<cl_mem> done;
    for (const auto& [mem, m] : mems)
        if (m.held == holder::releasing && m.queue == queue) done.push_back(mem);
    handback(done);
    return status;
}

cl_int clWaitForEvents(cl_uint n, const cl_event* events) {
    REAL(clWaitForEvents);
    const cl_int status = real_clWaitForEvents(n, events);
    guard hold(lock);
    std::vector<cl_mem> done;
    for (const auto& [mem, m] : mems)
        if (m.held == holder::releasing && m.released && std::find(events, events + n, m.released) != events + n)
            done.push_back(mem);
    handback(done);
    return status;
}

}  // extern "C"
