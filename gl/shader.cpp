#include "gl/shader.h"

#include <iostream>

#include "diag/check.h"

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
}  // namespace

Shader::Shader(GLenum type, const std::string& source)
    : handle(newshader(type), destroy), shadertype(type), text(source) {
    const GLuint shader = handle.name();
    const GLchar* data = text.data();
    const GLint length = static_cast<GLint>(text.size());
    GLCHECKED(glShaderSource(shader, 1, &data, &length));
    GLCHECKED(glCompileShader(shader));
    GLint status = 0;
    GLCHECKED(glGetShaderiv(shader, GL_COMPILE_STATUS, &status));
    if (status == 0) {
        std::cout << "Shader compilation failed." << std::endl;
        shaderlog(shader);
        throw ShaderCompilerException();
    }
}

}  // namespace talvo
