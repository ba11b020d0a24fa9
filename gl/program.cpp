#include "gl/program.h"

#include <glm/gtc/type_ptr.hpp>
#include <cctype>
#include <iostream>
#include <memory>
#include <vector>

#include "diag/check.h"
#include "gl/bindings.h"
#include "gl/reload.h"
#include "gl/resource.h"
#include "gl/shader.h"
#include "gl/texture.h"

namespace talvo {

namespace {
bool rebuild(GLuint program, const std::string& file, const std::string& text);

void destroy(GLuint program) {
    // Neither GL nor a cache may go on naming a deleted program.
    if (bindings().program == program) GLCHECKED(glUseProgram(0));
    forgetprogram(program);
    GLCHECKED(glDeleteProgram(program));
}

GLuint newprogram() {
    GLuint program = 0;
    GLCHECKED(program = glCreateProgram());
    return program;
}

// Links `program`; on failure writes the linker's log, hands it to `log` if given, and answers
// false.
bool linked(GLuint program, std::string* log = nullptr) {
    GLCHECKED(glLinkProgram(program));
    GLint status = 0;
    GLCHECKED(glGetProgramiv(program, GL_LINK_STATUS, &status));
    if (status == 0) {
        std::cout << "Shader program linking failed." << std::endl;
        const std::string text = programlog(program);
        if (log) *log = text;
    }
    return status != 0;
}

// The slot of a stage in a program's list of files.
size_t stageslot(GLenum type) {
    return type == GL_VERTEX_SHADER ? 0 : type == GL_GEOMETRY_SHADER ? 1 : 2;
}

// Names the files of a program that does not link: those of the stages the linker's log
// speaks of ("geometry shader output `colour' ... fragment shader input"), or all of them; and
// the log's first line, the reason, which standard output holds in full.
void linkfailure(const std::array<std::string, 3>& files, std::string log) {
    std::string reason = log.substr(0, log.find('\n'));
    while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back()))) reason.pop_back();
    for (char& c : log) c = char(std::tolower(static_cast<unsigned char>(c)));
    static const char* const stages[] = {"vertex shader", "geometry shader", "fragment shader"};
    std::vector<std::string> named, all;
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].empty()) continue;
        all.push_back(resourcePath(files[i]));
        if (log.find(stages[i]) != std::string::npos) named.push_back(all.back());
    }
    const std::vector<std::string>& chosen = named.empty() ? all : named;
    if (chosen.empty()) return;
    std::string paths;
    for (const std::string& path : chosen) paths += (paths.empty() ? "" : " + ") + path;
    resourcefailure(paths, std::string(chosen.size() == 1 ? "does not link" : "do not link") + (reason.empty() ? "" : ": " + reason));
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
    programfields& fields = handle.fields();
    fields.files[stageslot(shader.type())] = shader.file();
    if (shader.file().empty()) return;
    if (!fields.reload) {
        const GLuint program = name();
        fields.reload = std::make_shared<rebuildentry>(
            [program](const std::string& file, const std::string& text) { return rebuild(program, file, text); });
    }
    fields.reload->builtfrom(shader.file());
}

void Program::link() {
    std::string log;
    if (linked(name(), &log)) return;
    linkfailure(handle.fields().files, log);
    throw ProgramLinkerException();
}

GLuint Program::current() {
    return bindings().program;
}

void Program::use() {
    const GLuint program = name();
    GLuint& current = bindings().program;
    if (current != program) glUseProgram(program);
    current = program;
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
    GLuint& current = bindings().program;
    const GLuint remembered = current;
    use();
    glcheck("before glActiveTexture(GL_TEXTURE0+texturepos);");
    GLCHECKED(glActiveTexture(GL_TEXTURE0+texturepos));
    texture.bind();
    glUniform1i(location(name), texturepos);
    if (remembered != handle.name()) glUseProgram(remembered);
    current = remembered;
}

namespace {

// A uniform's value, kept across a relink, which resets every uniform.
struct uniformvalue {
    std::string name;
    GLenum type;
    GLfloat floats[16];
    GLint ints[4];
};

bool floattype(GLenum type) {
    switch (type) {
        case GL_FLOAT: case GL_FLOAT_VEC2: case GL_FLOAT_VEC3: case GL_FLOAT_VEC4:
        case GL_FLOAT_MAT2: case GL_FLOAT_MAT3: case GL_FLOAT_MAT4: return true;
        default: return false;
    }
}

// Every active uniform outside blocks, element by element; ints cover ints, bools and samplers.
std::vector<uniformvalue> uniformsof(GLuint program) {
    GLint count = 0;
    GLCHECKED(glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count));
    std::vector<uniformvalue> values;
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        GLCHECKED(glGetActiveUniform(program, GLuint(i), sizeof name, nullptr, &size, &type, name));
        std::string base(name);
        if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) base.resize(base.size() - 3);
        for (GLint element = 0; element < size; ++element) {
            uniformvalue value{size > 1 ? base + "[" + std::to_string(element) + "]" : base, type, {}, {}};
            GLint location = -1;
            GLCHECKED(location = glGetUniformLocation(program, value.name.c_str()));
            if (location < 0) continue;
            if (floattype(type))
                GLCHECKED(glGetUniformfv(program, location, value.floats));
            else
                GLCHECKED(glGetUniformiv(program, location, value.ints));
            values.push_back(value);
        }
    }
    return values;
}

// Sets the kept values on the current program, where it still has them.
void restore(GLuint program, const std::vector<uniformvalue>& values) {
    for (const uniformvalue& v : values) {
        GLint location = -1;
        GLCHECKED(location = glGetUniformLocation(program, v.name.c_str()));
        if (location < 0) continue;
        switch (v.type) {
            case GL_FLOAT: GLCHECKED(glUniform1fv(location, 1, v.floats)); break;
            case GL_FLOAT_VEC2: GLCHECKED(glUniform2fv(location, 1, v.floats)); break;
            case GL_FLOAT_VEC3: GLCHECKED(glUniform3fv(location, 1, v.floats)); break;
            case GL_FLOAT_VEC4: GLCHECKED(glUniform4fv(location, 1, v.floats)); break;
            case GL_FLOAT_MAT2: GLCHECKED(glUniformMatrix2fv(location, 1, GL_FALSE, v.floats)); break;
            case GL_FLOAT_MAT3: GLCHECKED(glUniformMatrix3fv(location, 1, GL_FALSE, v.floats)); break;
            case GL_FLOAT_MAT4: GLCHECKED(glUniformMatrix4fv(location, 1, GL_FALSE, v.floats)); break;
            case GL_INT_VEC2: GLCHECKED(glUniform2iv(location, 1, v.ints)); break;
            case GL_INT_VEC3: GLCHECKED(glUniform3iv(location, 1, v.ints)); break;
            case GL_INT_VEC4: GLCHECKED(glUniform4iv(location, 1, v.ints)); break;
            default: GLCHECKED(glUniform1iv(location, 1, v.ints)); break;
        }
    }
}

// The stages attached to a program.
std::vector<GLuint> stagesof(GLuint program) {
    GLuint stages[8] = {};
    GLsizei count = 0;
    GLCHECKED(glGetAttachedShaders(program, 8, &count, stages));
    return std::vector<GLuint>(stages, stages + count);
}

GLenum stagetype(GLuint shader) {
    GLint type = 0;
    GLCHECKED(glGetShaderiv(shader, GL_SHADER_TYPE, &type));
    return GLenum(type);
}

// Links a scratch program of `program`'s stages with `stage` in place of the one of its type.
bool linkswith(GLuint program, const Shader& stage) {
    const GLuint scratch = newprogram();
    for (GLuint other : stagesof(program))
        if (stagetype(other) != stage.type()) GLCHECKED(glAttachShader(scratch, other));
    GLCHECKED(glAttachShader(scratch, stage.name()));
    const bool good = linked(scratch);
    GLCHECKED(glDeleteProgram(scratch));
    return good;
}

// Relinks `program` in place with `file`'s stage compiled from `text`: every copy of its handle
// runs the new code, and the uniforms keep their values.
bool rebuild(GLuint program, const std::string& file, const std::string& text) {
    const Shader stage(shaderstage(file), text, file);
    // Linked apart first: a program whose relink failed would have no code at all.
    if (!linkswith(program, stage)) return false;
    const std::vector<uniformvalue> values = uniformsof(program);
    for (GLuint old : stagesof(program))
        if (stagetype(old) == stage.type()) GLCHECKED(glDetachShader(program, old));
    GLCHECKED(glAttachShader(program, stage.name()));
    GLCHECKED(glLinkProgram(program));
    GLCHECKED(glUseProgram(program));
    restore(program, values);
    GLCHECKED(glUseProgram(bindings().program));
    return true;
}

}  // namespace

GLenum shaderstage(const std::string& file) {
    const std::string extension = file.substr(std::min(file.size(), file.rfind('.')));
    if (extension == ".vert") return GL_VERTEX_SHADER;
    if (extension == ".geom") return GL_GEOMETRY_SHADER;
    if (extension == ".frag") return GL_FRAGMENT_SHADER;
    return 0;
}

}  // namespace talvo
