#include "gl/shader.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <regex>
#include <sstream>

#include "diag/check.h"
#include "gl/resource.h"

namespace talvo {

namespace {
void destroy(GLuint shader) {
    GLCHECKED(glDeleteShader(shader));
}

GLuint newshader(GLenum type) {
    GLuint shader = 0;
    GLCHECKED(shader = glCreateShader(type));
    return shader;
}

// The source lines a compiler's log points its errors at. Each entry names the source string
// and the line: "0:12(5): error" (Mesa), "0(12) : error", "ERROR: 0:12:".
std::set<int> errorlines(const std::string& log) {
    static const std::regex position(R"((\d+)[:(](\d+))");
    std::set<int> lines;
    std::istringstream entries(log);
    for (std::string entry; std::getline(entries, entry);) {
        std::string lower = entry;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        std::smatch at;
        if (lower.find("error") != std::string::npos && std::regex_search(entry, at, position))
            lines.insert(std::stoi(at[2]));
    }
    return lines;
}
}  // namespace

Shader::Shader(GLenum type, const std::string& source, const std::string& file)
    : handle(newshader(type), destroy), shadertype(type), text(source), origin(file) {
    // The compiler reads a source only up to a NUL byte: the rest would be missing without a
    // word, and the program fail to link for want of it.
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        const std::string why = "holds a NUL byte, where the compiler stops reading";
        if (!file.empty()) resourcefailure(resourcePath(file), why, {1 + int(std::count(text.begin(), text.begin() + long(nul), '\n'))});
        throw ShaderCompilerException{why};
    }
    const GLuint shader = handle.name();
    const GLchar* data = text.data();
    const GLint length = static_cast<GLint>(text.size());
    GLCHECKED(glShaderSource(shader, 1, &data, &length));
    GLCHECKED(glCompileShader(shader));
    GLint status = 0;
    GLCHECKED(glGetShaderiv(shader, GL_COMPILE_STATUS, &status));
    if (status == 0) {
        std::cout << "Shader compilation failed." << std::endl;
        const std::string log = shaderlog(shader);
        if (!file.empty()) resourcefailure(resourcePath(file), "does not compile", errorlines(log));
        throw ShaderCompilerException{log};
    }
}

Shader Shader::load(GLenum type, const std::string& file) {
    return Shader(type, loadResource(file), file);
}

}  // namespace talvo
