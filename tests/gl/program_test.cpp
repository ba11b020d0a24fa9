// Resource files, shader compile and link failures, uniforms, texture binding and the GL check
// that follows every call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "diag/check.h"
#include "fixture.h"
#include "gl/program.h"
#include "gl/reload.h"
#include "gl/resource.h"
#include "gl/texture.h"
#include "support/glpixels.h"
#include "support/scratchdir.h"

using namespace talvo;
using talvo::testsupport::glinteger;

namespace {
bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
}  // namespace

namespace {

TEST(resources, MissingFileEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const talvo::testsupport::scratchdir dir;
    EXPECT_EXIT(loadResource("missing.frag"), testing::ExitedWithCode(1),
                "^Unable to open file resources/missing.frag\n$");
    // A directory is no file either.
    EXPECT_EXIT(loadResource(""), testing::ExitedWithCode(1), "^Unable to open file resources/\n$");
}

TEST(resources, FilesLoadWholeWhateverTheirBytes) {
    const talvo::testsupport::scratchdir dir;
    const std::string binary("\0a\r\nb\0\0\xff", 8);
    dir.write("empty.txt", "");
    dir.write("binary.bin", binary);
    EXPECT_EQ(resourcePath("sub/name.ttf"), "resources/sub/name.ttf");

    testing::internal::CaptureStdout();
    const std::string empty = loadResource("empty.txt");
    const std::string loaded = loadResource("binary.bin");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "file resources/empty.txt loaded\nfile resources/binary.bin loaded\n");
    EXPECT_EQ(empty, "");
    EXPECT_EQ(loaded, binary);
}

class programs : public gltests::gltest {};

TEST_F(programs, GLErrorPrintsItsLineAndThrows) {
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(glcheck("nothing pending"));
    glEnable(0x1234);  // not a capability: GL_INVALID_ENUM
    EXPECT_THROW(glcheck("glEnable(0x1234);"), Log::GLException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "at glEnable(0x1234); | NONFATAL GLERROR: invalid enumerant\n");
}

// On a debug context the check reports what glGetError cannot see: the driver's faults,
// named by the call they followed, whatever their severity; its lesser notes pass.
TEST_F(programs, OnADebugContextTheDriversFaultsFailTheCheckAndItsNotesPass) {
    // The engine's contexts are debug ones exactly when the run asks for them.
    const char* const asked = std::getenv("TALVO_GL_DEBUG");
    EXPECT_EQ((glinteger(GL_CONTEXT_FLAGS) & GL_CONTEXT_FLAG_DEBUG_BIT) != 0, asked && std::string(asked) == "1");

    GLFWwindow* const previous = glfwGetCurrentContext();
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    platform::contexthints(3, 3);
    glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, GLFW_TRUE);
    GLFWwindow* const debug = glfwCreateWindow(16, 16, "debug", nullptr, nullptr);
    ASSERT_NE(debug, nullptr);
    glfwMakeContextCurrent(debug);
    auto says = [](GLenum type, GLenum severity, const char* message) {
        glDebugMessageInsert(GL_DEBUG_SOURCE_THIRD_PARTY, type, 1, severity, -1, message);
    };
    testing::internal::CaptureStderr();
    says(GL_DEBUG_TYPE_OTHER, GL_DEBUG_SEVERITY_NOTIFICATION, "before the first check");
    EXPECT_NO_THROW(glcheck("first"));
    says(GL_DEBUG_TYPE_PERFORMANCE, GL_DEBUG_SEVERITY_LOW, "a little slow");
    EXPECT_NO_THROW(glcheck("second"));
    // The context's log holds only a few messages: notes do not crowd a fault out of it.
    for (int i = 0; i < 100; ++i) says(GL_DEBUG_TYPE_OTHER, GL_DEBUG_SEVERITY_NOTIFICATION, "a note");
    says(GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR, GL_DEBUG_SEVERITY_LOW, "overlapping ranges");
    EXPECT_THROW(glcheck("glCopyBufferSubData(a, a, 0, 4, 8);"), Log::GLException);
    says(GL_DEBUG_TYPE_PERFORMANCE, GL_DEBUG_SEVERITY_MEDIUM, "a stall");
    EXPECT_THROW(glcheck("glReadPixels"), Log::GLException);
    EXPECT_NO_THROW(glcheck("nothing since"));
    glEnable(0x1234);  // a GL error is written once, by its glGetError line
    EXPECT_THROW(glcheck("glEnable(0x1234);"), Log::GLException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "at glCopyBufferSubData(a, a, 0, 4, 8); | GLDEBUG undefined behaviour, low: overlapping ranges\n"
              "at glReadPixels | GLDEBUG performance, medium: a stall\n"
              "at glEnable(0x1234); | NONFATAL GLERROR: invalid enumerant\n");
    glfwMakeContextCurrent(previous);
    glfwDestroyWindow(debug);
}

TEST_F(programs, CompileFailurePrintsTheLogAndThrows) {
    dir->write("broken.vert", "#version 330 core\nvoid main() { gl_Position = undefined; }\n");
    testing::internal::CaptureStdout();
    // The vertex stage fails before the (missing) later files are read.
    EXPECT_THROW(Program("broken.vert", "missing.geom", "missing.frag"), ShaderCompilerException);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("file resources/broken.vert loaded\n"
                        "Shader compilation failed.\nInfoLog:\n", 0), 0u) << out;
    EXPECT_TRUE(contains(out, "undefined")) << out;
    EXPECT_FALSE(contains(out, "missing")) << out;
}

// The log on standard output; on standard error the files of the stages the linker blames, with
// its reason. A stage cut short by a NUL byte is named as such, not left to fail the link.
TEST_F(programs, LinkFailurePrintsTheLogNamesTheFilesAndThrows) {
    // fsquad.geom hands on a vec2 "uv"; this stage wants a vec3.
    dir->write("mismatch.frag",
               "#version 330 core\nin vec3 uv;\nout vec4 r;\nvoid main() { r = vec4(uv, 1.0); }\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_THROW(Program("null.vert", "fsquad.geom", "mismatch.frag"), ProgramLinkerException);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(out, "file resources/mismatch.frag loaded\n"
                              "Shader program linking failed.\nInfoLog:\n")) << out;
    EXPECT_TRUE(contains(out, "uv")) << out;
    EXPECT_EQ(err.rfind("resources/fsquad.geom + resources/mismatch.frag: do not link: ", 0), 0u) << err;
    EXPECT_TRUE(contains(err, "uv") && err.find('\n') == err.size() - 1) << err;
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(Program::current()));

    dir->write("cut.frag", std::string("#version 330 core\nout vec4 r;\n\0void main() { r = vec4(1.0); }\n", 62));
    testing::internal::CaptureStderr();
    EXPECT_THROW(Program("null.vert", "fsquad.geom", "cut.frag"), ShaderCompilerException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "resources/cut.frag: holds a NUL byte, where the compiler stops reading (line 3)\n");
}

TEST_F(programs, UniformsLeaveTheirProgramCurrentButTextureBindingDoesNot) {
    dir->write("uniforms.frag", R"(#version 330 core
uniform float f;
uniform int i;
uniform vec2 v;
uniform mat4 mm;
uniform sampler2D tex;
out vec4 r;
void main() { r = vec4(f + float(i) + v.x + v.y + mm[3][2]) + texture(tex, vec2(0.5)); }
)");
    Program a("null.vert", "fsquad.geom", "solid.frag");
    Program b("null.vert", "fsquad.geom", "uniforms.frag");
    const Texture t = testsupport::rgba8texture(1, 1);

    a.use();
    b.bindTexture("tex", t, 3);
    EXPECT_EQ(Program::current(), a.name());
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(a.name()));
    EXPECT_EQ(glinteger(GL_ACTIVE_TEXTURE), GL_TEXTURE3);
    EXPECT_EQ(glinteger(GL_TEXTURE_BINDING_2D), GLint(t.buf));

    b.setUniform("f", 0.25f);
    b.setUniform("i", 42);
    b.setUniform("v", glm::vec2(3.0f, -4.0f));
    b.setUniform("mm", glm::mat4(2.0f));
    b.setUniform("absent", 1.0f);  // GL ignores location -1
    // A uniform call of the wrong kind for its uniform would be a GL error here.
    EXPECT_NO_THROW(glcheck("setUniform"));
    EXPECT_EQ(Program::current(), b.name());
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(b.name()));

    GLint value = 0;
    glGetUniformiv(b.name(), b.location("tex"), &value);
    EXPECT_EQ(value, 3);
    glGetUniformiv(b.name(), b.location("i"), &value);
    EXPECT_EQ(value, 42);
    glActiveTexture(GL_TEXTURE0);
}

}  // namespace

// A saved stage relinks every live program built from it, in place and keeping its uniforms; a
// stage that does not link with a program's others leaves that program as it was, and one that
// does not compile changes nothing. A program that has gone is no longer asked.
TEST_F(programs, ASavedStageRelinksTheLivePrograms) {
    const std::string tint = "#version 330 core\nin vec2 uv;\nuniform float f;\nout vec4 r;\n";
    dir->write("tint.frag", tint + "void main() { r = vec4(f); }\n");
    auto built = std::make_unique<Program>("null.vert", "fsquad.geom", "tint.frag");
    Program copy = *built;
    Program other("null.vert", "fsquad.geom", "solid.frag");
    built->setUniform("f", 0.25f);

    const rebuildcount relinked =
        rebuildfrom("tint.frag", tint + "uniform float g;\nvoid main() { r = vec4(f + g); }\n");
    EXPECT_EQ(relinked.objects, 1);
    EXPECT_EQ(relinked.refused, 0);
    GLfloat f = 0.0f;
    glGetUniformfv(copy.name(), copy.location("f"), &f);
    EXPECT_EQ(f, 0.25f);
    EXPECT_GE(copy.location("g"), 0) << "every copy runs the new code";
    EXPECT_EQ(glinteger(GL_CURRENT_PROGRAM), GLint(Program::current()));

    testing::internal::CaptureStdout();
    const rebuildcount mismatched =
        rebuildfrom("tint.frag", "#version 330 core\nin vec3 uv;\nout vec4 r;\nvoid main() { r = vec4(uv, 1.0); }\n");
    EXPECT_THROW(rebuildfrom("tint.frag", "#version 330 core\nthis is no shader\n"), ShaderCompilerException);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(mismatched.objects, 0);
    EXPECT_EQ(mismatched.refused, 1);
    EXPECT_GE(copy.location("g"), 0) << "a refused stage left the old code";

    EXPECT_EQ(rebuildfrom("solid.frag", gltests::solidfrag).objects, 1);
    built.reset();
    EXPECT_EQ(rebuildfrom("tint.frag", tint + "void main() { r = vec4(f); }\n").objects, 1);
    copy = Program();
    EXPECT_EQ(rebuildfrom("tint.frag", tint + "void main() { r = vec4(f); }\n").objects, 0);
}
