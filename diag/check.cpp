#include "diag/check.h"
#include "diag/warn.h"

#include <epoxy/gl.h>
#include <GL/glu.h>

#include <iostream>
#include <memory>

namespace talvo {

void glcheck(const std::string& text) {
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
    if (count > 0) {
        std::cerr.flush();
        throw Log::GLException();
    }
}

void clcheck(int status, const std::string& text) {
    if (status == 0) return;
    std::cerr << "at " << text << " | CLERROR: " << clerrorname(status) << std::endl;
    throw Log::CLException();
}

void ftcheck(int error, const std::string& text) {
    if (error == 0) return;
    std::cerr << "at " << text << " | FTERROR: " << error << std::flush;
    throw Log::FTException();
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
