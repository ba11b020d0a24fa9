#include "diag/check.h"
#include "diag/warn.h"

#include <epoxy/gl.h>
#include <GL/glu.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <vector>

namespace talvo {

namespace {

struct debugmessage {
    GLenum source, type, severity;
    std::string text;
};

// What the current context's driver has said since the last check. A debug context
// (platform/contexts.h makes them when TALVO_GL_DEBUG=1) keeps its messages in a log of its own.
// At its first check the log is narrowed to what may be a fault, since it holds only a few
// messages, and made synchronous, so that a message is logged before the call that caused it
// returns. A context that is set up has synchronous output on.
std::vector<debugmessage> takedebugmessages() {
    std::vector<debugmessage> messages;
    GLint flags = 0;
    glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
    if (!(flags & GL_CONTEXT_FLAG_DEBUG_BIT)) return messages;
    GLint length = 0;
    while (glGetIntegerv(GL_DEBUG_NEXT_LOGGED_MESSAGE_LENGTH, &length), length > 0) {
        debugmessage m{};
        GLuint id = 0;
        std::vector<GLchar> text(size_t(length), '\0');
        if (glGetDebugMessageLog(1, length, &m.source, &m.type, &id, &m.severity, nullptr, text.data()) == 0) break;
        m.text = text.data();
        messages.push_back(m);
    }
    if (!glIsEnabled(GL_DEBUG_OUTPUT_SYNCHRONOUS)) {
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        // The later rules override the earlier ones for the messages they name; see fault().
        glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_FALSE);
        for (GLenum severity : {GL_DEBUG_SEVERITY_HIGH, GL_DEBUG_SEVERITY_MEDIUM})
            glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, severity, 0, nullptr, GL_TRUE);
        for (GLenum type : {GL_DEBUG_TYPE_ERROR, GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR})
            glDebugMessageControl(GL_DONT_CARE, type, GL_DONT_CARE, 0, nullptr, GL_TRUE);
        for (GLenum source : {GL_DEBUG_SOURCE_API, GL_DEBUG_SOURCE_SHADER_COMPILER})
            glDebugMessageControl(source, GL_DEBUG_TYPE_ERROR, GL_DONT_CARE, 0, nullptr, GL_FALSE);
    }
    return messages;
}

// Errors and undefined behaviour, and whatever the driver rates high or medium, are faults.
// Not the GL errors, which glGetError reports as well, nor failed compiles, which the shader's
// status and info log report.
bool fault(const debugmessage& m) {
    if (m.type == GL_DEBUG_TYPE_ERROR &&
        (m.source == GL_DEBUG_SOURCE_API || m.source == GL_DEBUG_SOURCE_SHADER_COMPILER))
        return false;
    return m.type == GL_DEBUG_TYPE_ERROR || m.type == GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR ||
           m.severity == GL_DEBUG_SEVERITY_HIGH || m.severity == GL_DEBUG_SEVERITY_MEDIUM;
}

const char* debugtypename(GLenum type) {
    switch (type) {
        case GL_DEBUG_TYPE_ERROR: return "error";
        case GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR: return "deprecated behaviour";
        case GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR: return "undefined behaviour";
        case GL_DEBUG_TYPE_PORTABILITY: return "portability";
        case GL_DEBUG_TYPE_PERFORMANCE: return "performance";
        case GL_DEBUG_TYPE_MARKER: return "marker";
        default: return "other";
    }
}

const char* debugseverityname(GLenum severity) {
    switch (severity) {
        case GL_DEBUG_SEVERITY_HIGH: return "high";
        case GL_DEBUG_SEVERITY_MEDIUM: return "medium";
        case GL_DEBUG_SEVERITY_LOW: return "low";
        default: return "notification";
    }
}

// Writes a line for each fault the driver reported since the last check; returns how many.
int reportdebugmessages(const std::string& text) {
    int faults = 0;
    for (const debugmessage& m : takedebugmessages()) {
        if (!fault(m)) continue;
        ++faults;
        std::cerr << "at " << text << " | GLDEBUG " << debugtypename(m.type) << ", "
                  << debugseverityname(m.severity) << ": " << m.text << "\n";
    }
    return faults;
}

}  // namespace

void glcheck(const std::string& text) {
    // The driver's faults first, so that a GL error's line stays the last one written.
    const int faults = reportdebugmessages(text);
    int count = 0;
    GLenum e = glGetError();
    while (e != GL_NO_ERROR && count < 1000) {
        ++count;
        const GLubyte* s = gluErrorString(e);
        if (s) {
            std::cerr << "at " << text << " | "
                      << (e == GL_OUT_OF_MEMORY ? "FATAL GLERROR: " : "NONFATAL GLERROR: ")
                      << reinterpret_cast<const char*>(s) << "\n";
        } else {
            std::cerr << "at " << text << " | " << "UNKNOWN GLERROR: " << static_cast<unsigned>(e)
                      << "\n";
        }
        e = glGetError();
    }
    if (count > 0 || faults > 0) {
        std::cerr.flush();
        throw Log::GLException();
    }
}

void clcheck(int status, const std::string& text) {
    if (status == 0) return;
    std::cerr << "at " << text << " | CLERROR: " << clerrorname(status) << std::endl;
    // A status outside the table is the driver's own: say whose run it ended and what to do.
    if (clerrorname(status) == std::string("Unknown"))
        std::cerr << program_invocation_short_name << ": the OpenCL driver failed with its own status " << status
                  << ": check it (clinfo lists what it offers) or install another (Debian's pocl-opencl-icd)"
                  << std::endl;
    throw Log::CLException();
}

void ftcheck(int error, const std::string& text) {
    if (error == 0) return;
    std::cerr << ftfailure(error, text) << std::flush;
    throw Log::FTException();
}

std::string ftfailure(int error, const std::string& text) {
    return error == 0 ? "" : "at " + text + " | FTERROR: " + std::to_string(error);
}

int fmodcheck(int result, const std::string& text) {
    if (result != 0) warn("at " + text + " | FMODERROR: " + fmoderrortext(result));
    return result;
}

const char* clerrorname(int status) {
    static const char* const names[] = {
        "Success!",
        "Device not found.",
        "Device not available",
        "Compiler not available",
        "Memory object allocation failure",
        "Out of resources",
        "Out of host memory",
        "Profiling information not available",
        "Memory copy overlap",
        "Image format mismatch",
        "Image format not supported",
        "Program build failure",
        "Map failure",
    };
    static const char* const invalid[] = {
        "Invalid value",
        "Invalid device type",
        "Invalid platform",
        "Invalid device",
        "Invalid context",
        "Invalid queue properties",
        "Invalid command queue",
        "Invalid host pointer",
        "Invalid memory object",
        "Invalid image format descriptor",
        "Invalid image size",
        "Invalid sampler",
        "Invalid binary",
        "Invalid build options",
        "Invalid program",
        "Invalid program executable",
        "Invalid kernel name",
        "Invalid kernel definition",
        "Invalid kernel",
        "Invalid argument index",
        "Invalid argument value",
        "Invalid argument size",
        "Invalid kernel arguments",
        "Invalid work dimension",
        "Invalid work group size",
        "Invalid work item size",
        "Invalid global offset",
        "Invalid event wait list",
        "Invalid event",
        "Invalid operation",
        "Invalid OpenGL object",
        "Invalid buffer size",
        "Invalid mip-map level",
    };
    if (status <= 0 && status >= -12) return names[-status];
    if (status <= -30 && status >= -62) return invalid[-30 - status];
    // The ICD loader's CL_PLATFORM_NOT_FOUND_KHR: no OpenCL driver is installed.
    if (status == -1001) return "No platform found";
    return "Unknown";
}

namespace {
struct fmoderror {
    int code;
    const char* text;
};
// Generated at build time from diag/fmod-errors.tsv.
const fmoderror fmoderrors[] = {
#include "fmod_errors.inc"
};
}  // namespace

const char* fmoderrortext(int result) {
    for (const fmoderror& e : fmoderrors)
        if (e.code == result) return e.text;
    return "Unknown error.";
}

namespace {
template <typename GetIv, typename GetLog>
std::string printlog(unsigned object, GetIv getiv, GetLog getlog, const char* ivtext, const char* logtext) {
    GLint sz = 0;
    getiv(object, GL_INFO_LOG_LENGTH, &sz);
    glcheck(ivtext);
    if (sz <= 0) return "";
    std::unique_ptr<char[]> infoLog(new char[sz]);
    GLsizei charsWritten = 0;
    getlog(object, sz, &charsWritten, infoLog.get());
    glcheck(logtext);
    std::string log(infoLog.get(), charsWritten);
    std::cout << "InfoLog:\n" << log << "\n";
    return log;
}
}  // namespace

std::string shaderlog(unsigned shader) {
    return printlog(shader, glGetShaderiv, glGetShaderInfoLog,
             "glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &sz);",
             "glGetShaderInfoLog(shader,sz, &charsWritten, infoLog);");
}

std::string programlog(unsigned program) {
    return printlog(program, glGetProgramiv, glGetProgramInfoLog,
             "glGetProgramiv(shader, GL_INFO_LOG_LENGTH, &sz);",
             "glGetProgramInfoLog(shader,sz, &charsWritten, infoLog);");
}

}  // namespace talvo
