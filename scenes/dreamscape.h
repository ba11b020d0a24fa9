#pragma once
// The third scene, from 88 s to 136 s: a landscape of 3 000 000 points and a sky of 500 000,
// computed every step from "dreamscape.slcl" and "dreamscapesky.slcl" and drawn as additive
// sprites. The camera circles the scene at radius 1700 and height 1200, every four seconds
// switching between looking at the centre (camera A) and looking ahead along its circle
// (camera B). The scene opens on a white flash; from 22 s in, a growing distortion bends the
// points and the picture ("dreamscapehdr.frag").
#include <glm/glm.hpp>

#include "engine/control.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "gl/program.h"
#include "scenes/scene.h"

class dreamscape : public scene {
public:
    dreamscape();

    // The camera channels' matrices at scene time t (milliseconds), for the current window.
    static glm::mat4 cameracentre(float t);
    static glm::mat4 cameraahead(float t);

protected:
    // GL_PROGRAM_POINT_SIZE and the ground's and the sky's "screenSize".
    void prepare() override;
    // Clears to the flash (black once it is over) and draws the clouds additively.
    void drawscene() override;
    // The skeleton's "maxbright" and "exposure", then "res" and "distort".
    void passuniforms() override;
    void preparepass() override;

    talvo::Program ground;
    talvo::Program sky;
    // Among the children, which own them: the timeline of the cuts every four seconds, and the
    // two cameras it cuts between.
    talvo::controls::timercontrol* cameratimeline = nullptr;
    talvo::controls::control<talvo::pdata<glm::mat4>>* cameras = nullptr;
    // Published by their channels in sync.
    float flash = 0.0f;
    float distort = 0.0f;

private:
    void drawpoints(talvo::Program& program, const glm::mat4& mat, talvo::VArray& va, int count);
};
