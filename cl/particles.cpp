#include "cl/particles.h"

#include <cstdlib>
#include <glm/gtc/matrix_transform.hpp>

#include "cl/kerneltemplates.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/shader.h"

namespace talvo {

namespace {
const char* const kernelname = "flowparticles";
const char* const options = "-cl-fast-relaxed-math -cl-mad-enable";
}  // namespace

particles::particles()
    : varray(VArray::create()),
      shader(Program::create()),
      program(loadsnippet("particles.cl"), options),
      reload([this](const std::string&, const std::string& text) { return rebuild(text); }) {
    reload.builtfrom("particles.cl");
}

bool particles::rebuild(const std::string& text) {
    CLProgram built(snippetcode("particles.cl", text), options);
    // Set up as at the first entry; a cloud not yet entered gets its kernel then.
    if (!initial.empty()) {
        built.createKernel(kernelname);
        built.setArg(kernelname, 0, positions);
        built.setArg(kernelname, 1, colours);
    }
    program = built;
    return true;
}

void particles::enter(state* /*previous*/) {
    if (!initial.empty()) return;
    program.createKernel(kernelname);

    {
        const Shader vertex = Shader::load(GL_VERTEX_SHADER, "particles.vert");
        const Shader geometry = Shader::load(GL_GEOMETRY_SHADER, "minimal.geom");
        const Shader fragment = Shader::load(GL_FRAGMENT_SHADER, "minimal.frag");
        shader.attach(vertex);
        shader.attach(geometry);
        shader.attach(fragment);
        GLCHECKED(glBindAttribLocation(shader.name(), 0, "in_Position"));
        GLCHECKED(glBindAttribLocation(shader.name(), 1, "color"));
        shader.link();
    }

    // Every run starts from the same cloud, a cube of side 20 around the origin, with w in
    // [0, 2), whatever drew on rand() before.
    std::srand(seed);
    initial.reserve(size_t(count) * 4);
    initialcolour.assign(size_t(count) * 4, 0.0f);
    for (int i = 0; i < count; ++i) {
        for (int axis = 0; axis < 3; ++axis) initial.push_back(float(std::rand() % 10000 - 5000) * 0.002f);
        initial.push_back(float(std::rand() % 10000) * 0.0002f);
    }
    positions.upload(initial);
    colours.upload(initialcolour);

    varray.setAttribute(0, drawpositions.buf(), drawpositions.target, drawpositions.type);
    varray.setAttribute(1, drawcolours.buf(), drawcolours.target, drawcolours.type);
    VArray::unbind();

    program.setArg(kernelname, 0, positions);
    program.setArg(kernelname, 1, colours);
}

void particles::update() {
    program.setArg(kernelname, 2, stepseconds);
    program.setArg(kernelname, 3, acctime());
    program.run(kernelname, size_t(count), true);
}

bool particles::sync() {
    drawpositions.copyFrom(positions);
    drawcolours.copyFrom(colours);
    return true;
}

glm::mat4 particles::camera(float t) {
    const float aspect = float(windowwidth) / float(windowheight);
    const glm::mat4 projection = glm::infinitePerspective(glm::radians(45.0f), aspect, 0.1f);
    const glm::mat4 view = glm::lookAt(glm::vec3(13.0f, 1.0f, 12.0f), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const glm::mat4 one(1.0f);
    return projection * view * glm::rotate(one, glm::radians(0.0011f * t), glm::vec3(1.0f, 0.0f, 0.0f)) *
           glm::rotate(one, glm::radians(0.0017f * t), glm::vec3(0.0f, 1.0f, 0.0f)) *
           glm::rotate(one, glm::radians(0.0013f * t), glm::vec3(0.0f, 0.0f, 1.0f));
}

void particles::display() {
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    shader.use();
    // The update clock as it stood when the frame began: the camera moves in the flow's steps.
    const float t = float(publishedtime());
    shader.setUniform("rot", camera(t));
    // The sprites are sized in proportion to the picture's height.
    shader.setUniform("screenSize", glm::vec2(float(windowwidth), float(windowheight)));
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
    varray.draw(int(initial.size() / 4), 1, GL_POINTS);
}

}  // namespace talvo
