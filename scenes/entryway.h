#pragma once
// The second scene, from 56 s to 88 s: a random tree of 40 sigmoid ribbons grows out of a hub
// while the camera slides past it, rolling slowly (camera A). At 74 s the camera turns into
// the picture and flies forward (camera B), and the nested `entrytunnel` starts, adding its
// tunnel onto this scene's image until its whiteout hands over to the next scene's flash.
#include <glm/glm.hpp>

#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "gl/program.h"
#include "scenes/scene.h"

class entryway : public scene {
public:
    entryway();

    static constexpr int ribbons = 40;
    static constexpr int ribbonvertices = 10000;
    // The tree's own rand() sequence.
    static constexpr unsigned seed = 56;
    // The curve every ribbon is drawn from, and the function it calls.
    static const char* const ribbonexpression;
    static const char* const ribbonprefix;

    // The cameras at scene time t in milliseconds, for the current window: A slides along +X
    // rolling slowly; B, from 74 s, also flies along -Z.
    static glm::mat4 cameraslide(float t);
    static glm::mat4 cameraflight(float t);

protected:
    // The GL state of the ribbons and the nested tunnel, and the ribbons' "screenSize".
    void prepare() override;
    // Clears the image and draws the ribbons, then (from 74 s) the tunnel onto them.
    void drawscene() override;
    void preparepass() override;

    talvo::Program ribbon;
    // Among the children, which own them: the timeline (the turn at 74 s), the cameras A and B,
    // and the act that starts the tunnel.
    talvo::controls::timercontrol* timeline = nullptr;
    talvo::controls::control<talvo::pdata<glm::mat4>>* cameras = nullptr;
    talvo::controls::control<talvo::state>* act = nullptr;
};
