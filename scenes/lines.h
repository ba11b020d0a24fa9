#pragma once
// The opening's second act, from 28 s to 56 s, nested in the opening: 280 copies of one curve
// computed from "opening.slcl", standing on 56 rings of five around a hub and each spinning
// about its own vertical axis, drawn as a ribbon and as sprites. They grow out along their
// length over the first second; the camera alternates every two seconds between a high and a
// low view while the world turns. From 44 s the copies are squashed flat, turned inside out and
// stretched tenfold while the tone mapping's white point rises. The picture is tone-mapped into
// the opening's HDR image, replacing it.
#include <glm/glm.hpp>

#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "gl/program.h"
#include "scenes/scene.h"

class lines : public scene {
public:
    lines();

    static constexpr int copies = 280;
    static constexpr int vertices = 1400;
    static constexpr int perring = 5;

    // At production time T in milliseconds, for the current window: camera 0 (A, high, looking
    // down on the hub) or 1 (B, low, looking up), the world turning under both.
    static glm::mat4 camera(int which, float T);
    // The flattening of the copies across their vertical axis: 1 until 44 s, 0 at 44.2 s,
    // -10 (inside out, ten times as wide) from 46.2 s.
    static float squash(float T);
    // Where copy i stands and how far it has spun.
    static glm::mat4 placement(int i, float T);
    // How far the white point has risen: 0 until 44 s, then 10 a second.
    static float whitepointrise(float T);

protected:
    // The point program's colour gains.
    void prepare() override;
    void drawscene() override;
    void passuniforms() override;
    void preparepass() override;

    talvo::Program triangles;
    talvo::Program points;
    // Among the children, which own them: the camera cuts and one channel per camera.
    talvo::controls::timercontrol* cameratimeline = nullptr;
    talvo::controls::control<talvo::pdata<glm::mat4>>* cameras = nullptr;
    // Published by its channel in sync.
    float rise = 0.0f;

private:
    void drawcopy(const glm::mat4& m, talvo::VArray& va, int count);
};
