#pragma once
// A linked GLSL program: a copyable handle sharing the GL program and one use count, with the
// uniform and texture-binding operations every scene uses.
//
// The program made current through this class is cached for its context (gl/bindings.h), so
// that use() skips redundant glUseProgram calls. Code that calls glUseProgram itself must not
// rely on the cache.
#include <epoxy/gl.h>

#include <array>
#include <glm/glm.hpp>
#include <memory>
#include <string>

#include "gl/shared.h"

namespace talvo {

class Shader;
class Texture;
class rebuildentry;

class Program {
public:
    // An empty handle: no GL program.
    Program() = default;
    // Loads, compiles, attaches and links the three stages from resources/, each file loaded
    // and compiled before the next is read. A missing file ends the process; a failed
    // compile or link throws (ShaderCompilerException, ProgramLinkerException).
    Program(const std::string& vertexfile, const std::string& geometryfile,
            const std::string& fragmentfile);
    // A program object without stages, for owners that attach stages and bind attribute
    // locations themselves before link().
    static Program create();

    void attach(const Shader& shader);
    // On failure prints "Shader program linking failed." and the info log to standard output,
    // then one line on standard error naming the resource files of the stages the log speaks
    // of (all of them when it names none): "resources/a.geom + resources/a.frag: do not
    // link"; and throws ProgramLinkerException.
    void link();

    void use();
    // Looked up on every call; -1 for a name the program lacks, which GL then ignores.
    GLint location(const std::string& name);

    // Each makes this program current and leaves it so.
    void setUniform(const std::string& name, float value);
    void setUniform(const std::string& name, int value);
    void setUniform(const std::string& name, const glm::vec2& value);
    void setUniform(const std::string& name, const glm::mat4& value);

    // Binds the texture on unit texturepos and points the sampler uniform at that unit. Leaves
    // the current program as it found it.
    void bindTexture(const std::string& name, const Texture& texture, int texturepos);

    GLuint name() const { return handle.name(); }
    int usecount() const { return handle.usecount(); }

    // The program last made current through this class; 0 for none.
    static GLuint current();

private:
    explicit Program(GLuint program);

    // The resource files of the attached stages: vertex, geometry, fragment ("" for none, or
    // for a stage given as text).
    using stagefiles = std::array<std::string, 3>;

    struct programfields {
        stagefiles files;
        // Maker mode relinks the program when one of its files is saved (gl/reload.h).
        std::shared_ptr<rebuildentry> reload;
    };
    shared<GLuint, programfields> handle;
};

// The stage a shader file holds, by its extension (".vert", ".geom", ".frag"); 0 for any other.
GLenum shaderstage(const std::string& file);

}  // namespace talvo
