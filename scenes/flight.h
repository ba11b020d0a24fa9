#pragma once
// The fourth scene, from 136 s to 160 s: a glowing path computed from "flight.slcl", drawn as a
// ribbon and as sprites, with 3000 straight lines of 1000 sparks each hung across it at random
// places along its length. The camera flies forward along +Z while rolling slowly and cuts
// between five framings every four seconds; the colours and the tone mapping's white point
// pulse with a period of 2 pi seconds.
#include <glm/glm.hpp>

#include "engine/pdata.h"
#include "gl/program.h"
#include "scenes/scene.h"

class flight : public scene {
public:
    flight();

    static constexpr int pathvertices = 5000;
    static constexpr int lines = 3000;
    static constexpr int sparksperline = 1000;
    // The lines' own rand() sequence.
    static constexpr unsigned seed = 136;

    // Camera k (0 ... 4) at scene time t in milliseconds, for the current window.
    static glm::mat4 camera(int k, float t);
    // The pulses at scene time t: the colour gain and the tone mapping's white point.
    static float glowat(float t);
    static float whitepointat(float t);

protected:
    // The point and spark programs' colour gains and "screenSize".
    void prepare() override;
    void passuniforms() override;
    void preparepass() override;

    talvo::Program triangles;
    talvo::Program points;
    talvo::Program sparks;
    // Among the children, which own it: one channel per camera, cut by the timeline.
    talvo::controls::control<talvo::pdata<glm::mat4>>* cameras = nullptr;
    // Published by their channels in sync.
    float glow = 1.0f;
    float whitepoint = 45.0f;

private:
    void drawpath(const glm::mat4& m, talvo::VArray& va, int count);
    void drawsparks(const glm::mat4& m, talvo::VArray& va, int count);
};
