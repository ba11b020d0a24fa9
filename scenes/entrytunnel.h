#pragma once
// Nested in `entryway` from 74 s: a tunnel computed from "entrytunnel.slcl", growing by 300
// vertices a second, which its own camera flies through along +Z. It is drawn as a ribbon and
// as sprites into the second shared target, tone-mapped and added onto the entryway's image.
// From 84 s the whiteout clears the tunnel's image ever brighter while its white point falls
// to 1, until the picture is white for the next scene's flash.
#include <glm/glm.hpp>

#include "gl/program.h"
#include "scenes/scene.h"

class entrytunnel : public scene {
public:
    entrytunnel();

    static constexpr int tunnelvertices = 100000;

    // The tunnel camera at scene time t in milliseconds, for the current window.
    static glm::mat4 camera(float t);
    // The whiteout at scene time t: 0 for the first ten seconds, then rising by 10 a second.
    static float whiteoutat(float t);
    // The tone mapping's white point under whiteout w: 20 - w, never below 1.
    static float whitepointat(float w);

    // The hub with the tunnel below it, for a look from outside (the parent's tests and
    // benchmark).
    const talvo::cltreebase& tree() const { return *root; }

protected:
    // The point program's colour gains.
    void prepare() override;
    // Clears (to the whiteout once it has begun) and draws the tunnel.
    void drawscene() override;
    void passuniforms() override;
    // The pass adds the tunnel onto the parent's image.
    void preparepass() override;

    talvo::Program triangles;
    talvo::Program points;
    // Published by its channel in sync.
    float whiteout = 0.0f;

private:
    void drawtunnel(const glm::mat4& m, talvo::VArray& va, int count);
};
