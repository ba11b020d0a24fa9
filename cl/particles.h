#pragma once
// Flow particles: 4000 points that the kernel "flowparticles" of "particles.cl" moves on the
// GPU, one run per 25 ms step. Unlike generated geometry the kernel updates positions and
// colours in place, so each step carries on from where the last one left the particles. The
// particles are drawn as additive points under a slowly tumbling camera, straight into
// whatever framebuffer their owner has bound (which they clear first).
//
// The set-up (kernel, shader, the initial cloud, the bindings) happens when the particles are
// first entered, not at construction.
#include <glm/glm.hpp>
#include <string>
#include <vector>

#include "cl/buffer.h"
#include "cl/clprogram.h"
#include "engine/state.h"
#include "gl/program.h"
#include "gl/reload.h"
#include "gl/varray.h"

namespace talvo {

class particles : public state {
public:
    static constexpr int count = 4000;
    // Seconds of flow per update step.
    static constexpr float stepseconds = 0.025f;
    // The initial cloud's own rand() sequence.
    static constexpr unsigned seed = 4;

    // Builds "particles.cl"; buffers, vertex array and shader program start empty.
    particles();
    particles(const particles&) = delete;
    particles& operator=(const particles&) = delete;

    // Render thread: clears the bound framebuffer's colour and adds the particles onto it.
    void display() override;
    // One kernel run over every particle, whatever time has passed.
    void update() override;
    // Publishes the simulated state into the drawn buffers; always true.
    bool sync() override;
    // The first entry sets everything up and starts the cloud; a later one carries on with the
    // flow as it is (starting a second cloud would outgrow the buffers OpenCL already holds).
    void enter(state* previous) override;

    // The camera "rot" at t milliseconds of the update clock: an infinite perspective of 45
    // degrees on the window's aspect, looking from (13, 1, 12) at the origin, the cloud turning
    // about all three axes.
    static glm::mat4 camera(float t);

protected:
    VArray varray;
    Program shader;
    Buffer<float> drawpositions;
    Buffer<float> drawcolours;
    Buffer<float> positions;
    Buffer<float> colours;
    CLProgram program;
    // The cloud the flow started from: x, y, z, w per particle (empty before the first entry).
    std::vector<float> initial;
    std::vector<float> initialcolour;

private:
    // Maker mode builds the kernel anew from a saved "particles.cl" (gl/reload.h); positions and
    // colours go on from where they are.
    rebuildentry reload;
    bool rebuild(const std::string& text);
};

}  // namespace talvo
