#include "bench/support/rawgl.h"

#include <string>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "diag/check.h"
#include "gl/resource.h"

namespace talvo::bench {

namespace {

GLuint rawshader(GLenum type, const std::string& file) {
    const std::string source = loadResource(file);
    const char* text = source.c_str();
    GLuint shader = 0;
    GLCHECKED(shader = glCreateShader(type));
    GLCHECKED(glShaderSource(shader, 1, &text, nullptr));
    GLCHECKED(glCompileShader(shader));
    return shader;
}

}  // namespace

GLuint rawprogram(const char* vertex, const char* geometry, const char* fragment) {
    GLuint program = 0;
    GLCHECKED(program = glCreateProgram());
    const GLuint shaders[] = {rawshader(GL_VERTEX_SHADER, vertex), rawshader(GL_GEOMETRY_SHADER, geometry),
                              rawshader(GL_FRAGMENT_SHADER, fragment)};
    for (GLuint s : shaders) GLCHECKED(glAttachShader(program, s));
    GLCHECKED(glLinkProgram(program));
    for (GLuint s : shaders) GLCHECKED(glDeleteShader(s));
    return program;
}

rawvertices::rawvertices(const Buffer<float>& published) : count(published.size() / 4) {
    GLCHECKED(glGenVertexArrays(1, &vao));
    GLCHECKED(glGenBuffers(1, &vbo));
    const GLsizeiptr bytes = GLsizeiptr(published.size()) * GLsizeiptr(sizeof(float));
    GLCHECKED(glBindBuffer(GL_COPY_WRITE_BUFFER, vbo));
    GLCHECKED(glBufferData(GL_COPY_WRITE_BUFFER, bytes, nullptr, GL_DYNAMIC_DRAW));
    GLCHECKED(glBindBuffer(GL_COPY_READ_BUFFER, published.buf()));
    GLCHECKED(glCopyBufferSubData(GL_COPY_READ_BUFFER, GL_COPY_WRITE_BUFFER, 0, 0, bytes));
    GLCHECKED(glBindVertexArray(vao));
    GLCHECKED(glBindBuffer(GL_ARRAY_BUFFER, vbo));
    GLCHECKED(glEnableVertexAttribArray(0));
    GLCHECKED(glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr));
    GLCHECKED(glBindVertexArray(0));
}

rawvertices::~rawvertices() {
    GLCHECKED(glDeleteBuffers(1, &vbo));
    GLCHECKED(glDeleteVertexArrays(1, &vao));
}

void rawvertices::draw(GLenum mode) const {
    draw(mode, count);
}

void rawvertices::draw(GLenum mode, int first) const {
    GLCHECKED(glBindVertexArray(vao));
    GLCHECKED(glDrawArrays(mode, 0, first));
}

rawtarget::rawtarget(int samples, int width, int height) : samples(samples) {
    GLCHECKED(glGenTextures(1, &texture));
    GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, texture));
    GLCHECKED(glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGB16F, width, height, GL_FALSE));
    GLCHECKED(glGenFramebuffers(1, &framebuffer));
    GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, framebuffer));
    GLCHECKED(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, texture, 0));
    GLCHECKED(glBindFramebuffer(GL_FRAMEBUFFER, 0));
}

rawtarget::~rawtarget() {
    GLCHECKED(glDeleteFramebuffers(1, &framebuffer));
    GLCHECKED(glDeleteTextures(1, &texture));
}

rawpass::rawpass(const char* fragment) : program(rawprogram("null.vert", "fsquad.geom", fragment)) {
    GLCHECKED(glGenVertexArrays(1, &empty));
}

rawpass::~rawpass() {
    GLCHECKED(glDeleteVertexArrays(1, &empty));
    GLCHECKED(glDeleteProgram(program));
}

GLuint rawpass::use() const {
    GLCHECKED(glUseProgram(program));
    return program;
}

void rawpass::draw(const rawtarget& from, float maxbright, float exposure) const {
    use();
    GLCHECKED(glActiveTexture(GL_TEXTURE0));
    GLCHECKED(glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, from.texture));
    GLCHECKED(glUniform1i(glGetUniformLocation(program, "tex"), 0));
    GLCHECKED(glUniform1i(glGetUniformLocation(program, "samples"), from.samples));
    GLCHECKED(glUniform1f(glGetUniformLocation(program, "maxbright"), maxbright));
    GLCHECKED(glUniform1f(glGetUniformLocation(program, "exposure"), exposure));
    GLCHECKED(glUniformMatrix4fv(glGetUniformLocation(program, "m"), 1, GL_FALSE, glm::value_ptr(glm::mat4(1.0f))));
    GLCHECKED(glBindVertexArray(empty));
    GLCHECKED(glDrawArrays(GL_POINTS, 0, 1));
    GLCHECKED(glBindVertexArray(0));
}

}  // namespace talvo::bench
