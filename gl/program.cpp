#include "gl/program.h"

#include <glm/gtc/type_ptr.hpp>
#include <iostream>

#include "diag/check.h"
#include "gl/shader.h"
#include "gl/texture.h"

namespace talvo {

namespace {
GLuint currentprogram = 0;

void destroy(GLuint program) {
    // Neither GL nor the cache may go on naming a deleted program.
    if (currentprogram == program) {
        currentprogram = 0;
        GLCHECKED(glUseProgram(0));
    }
    GLCHECKED(glDeleteProgram(program));
}

GLuint newprogram() {
    GLuint program = 0;
    GLCHECKED(program = glCreateProgram());
    return program;
}
}  // namespace

Program::Program(GLuint program) : handle(program, destroy) {}

Program Program::create() {
    return Program(newprogram());
}

Program::Program(const std::string& vertexfile, const std::string& geometryfile,
                 const std::string& fragmentfile)
    : Program(newprogram()) {
    const Shader vertex = Shader::load(GL_VERTEX_SHADER, vertexfile);
    const Shader geometry = Shader::load(GL_GEOMETRY_SHADER, geometryfile);
    const Shader fragment = Shader::load(GL_FRAGMENT_SHADER, fragmentfile);
    attach(vertex);
    attach(geometry);
    attach(fragment);
    link();
}

void Program::attach(const Shader& shader) {
    GLCHECKED(glAttachShader(name(), shader.name()));
}

void Program::link() {
    const GLuint program = name();
    GLCHECKED(glLinkProgram(program));
    GLint status = 0;
    GLCHECKED(glGetProgramiv(program, GL_LINK_STATUS, &status));
    if (status == 0) {
        std::cout << "Shader program linking failed." << std::endl;
        programlog(program);
        throw ProgramLinkerException();
    }
}

GLuint Program::current() {
    return currentprogram;
}

void Program::use() {
    const GLuint program = name();
    if (currentprogram != program) glUseProgram(program);
    currentprogram = program;
}

GLint Program::location(const std::string& name) {
    const GLuint program = handle.name();
    const GLint location = glGetUniformLocation(program, name.c_str());
    glcheck("glGetUniformLocation(program, name.c_str());");
    return location;
}

void Program::setUniform(const std::string& name, float value) {
    use();
    glUniform1f(location(name), value);
}

void Program::setUniform(const std::string& name, int value) {
    use();
    glUniform1i(location(name), value);
}

void Program::setUniform(const std::string& name, const glm::vec2& value) {
    use();
    glUniform2fv(location(name), 1, glm::value_ptr(value));
}

void Program::setUniform(const std::string& name, const glm::mat4& value) {
    use();
    glUniformMatrix4fv(location(name), 1, GL_FALSE, glm::value_ptr(value));
}

void Program::bindTexture(const std::string& name, const Texture& texture, int texturepos) {
    const GLuint remembered = currentprogram;
    use();
    glcheck("before glActiveTexture(GL_TEXTURE0+texturepos);");
    GLCHECKED(glActiveTexture(GL_TEXTURE0+texturepos));
    texture.bind();
    glUniform1i(location(name), texturepos);
    if (remembered != handle.name()) glUseProgram(remembered);
    currentprogram = remembered;
}

}  // namespace talvo
