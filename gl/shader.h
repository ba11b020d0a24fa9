#pragma once
// One compiled GLSL stage. Copies share the GL shader object and one use count; the last copy
// deletes it (a shader still attached to a program lives on inside GL until the program goes).
#include <epoxy/gl.h>

#include <string>

#include "gl/shared.h"

namespace talvo {

class Shader {
public:
    // An empty handle: no GL shader.
    Shader() = default;
    // Compiles the source, passed with its explicit length (it need not end in a NUL). On
    // failure prints "Shader compilation failed." and the info log to standard output, then,
    // given the resource `file` the source was read from, one line on standard error that
    // names resources/<file> and the lines the compiler points at; and throws
    // ShaderCompilerException, which carries the log.
    Shader(GLenum type, const std::string& source, const std::string& file = "");
    // The shader of the resource file `file`, read with loadResource.
    static Shader load(GLenum type, const std::string& file);

    GLuint name() const { return handle.name(); }
    GLenum type() const { return shadertype; }
    const std::string& source() const { return text; }
    // The resource file the source came from; empty for a source given as text.
    const std::string& file() const { return origin; }
    int usecount() const { return handle.usecount(); }

private:
    shared<GLuint> handle;
    GLenum shadertype = 0;
    std::string text;
    std::string origin;
};

}  // namespace talvo
