#pragma once
// The last scene, from 160 s to 194 s: a tree of 100 glowing ribbons grows out of an invisible
// hub while its camera drifts along +X, and ten lines of text, rendered once with the
// production's font, drift by as cards under a second camera that moves the other way. Both
// are added into the shared HDR target and tone-mapped with white point 1, the exposure rising
// from 0 to 3 over the first three seconds.
#include <array>
#include <glm/glm.hpp>
#include <vector>

#include "gl/fsshader.h"
#include "gl/program.h"
#include "gl/texture.h"
#include "scenes/scene.h"
#include "text/font.h"

class credits : public scene {
public:
    credits();

    static constexpr int branches = 100;
    static constexpr int branchvertices = 500;
    // The tree's own rand() sequence: 1, the library's unseeded start, on which it was made.
    static constexpr unsigned seed = 1;
    // In display order: seven greetings, then music, code and graphics.
    static constexpr std::array<const char*, 10> texts = {
        "Vellumdrift", " Ossiloom",     "Kelpwright",      "Brindlewick",   "Saltgrebe ",
        "Hollowquay",  "Quillmoth",     "Music/Fennoway",  "Code/Tarrowlin", "GFX/Ashquibble"};

    // The channels' values at scene time t in milliseconds, for the current window.
    static glm::mat4 rootcamera(float t);
    static glm::mat4 textcamera(float t);
    static float exposureat(float t);
    // What the card of line i is given as "visibility" at scene time t: 460 for the first line
    // and 100 for the last at t = 0, every line falling by 10 a second.
    static float visibilityat(int i, float t);

protected:
    // The GL state of the frame (additive, no depth test) and the ribbons' "screenSize".
    void prepare() override;
    // The ribbons, then the ten cards over them.
    void drawscene() override;
    void preparepass() override;

    // Released in the reverse order: the ribbon program first, the text pass last (then the
    // skeleton's passes and targets, and the children).
    talvo::FSShader textpass;
    std::vector<talvo::Texture> lines;
    talvo::Font font;
    talvo::Program ribbon;
    // Published by its channel in sync.
    glm::mat4 textview{1.0f};
};
