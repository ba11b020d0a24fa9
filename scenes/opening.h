#pragma once
// The first scene, from 0 to 56 s. A field of 10 000 stars turns slowly around a camera at its
// centre; the title card fades in as two lines, "TalvoX001" from 12 s to 20 s and
// "Quellspire" from 20 s to 27 s, while the stars fade out; the flow particles play from
// 12 s to 28 s, and from 28 s the nested scene `lines` takes over the whole picture. All of it
// is drawn into the shared HDR target and tone-mapped with white point 1 and exposure 10, so
// that everything drawn here writes faint values: 0.1 is already white.
#include <glm/glm.hpp>

#include "cl/pointgenerator.h"
#include "engine/control.h"
#include "gl/fsshader.h"
#include "gl/program.h"
#include "gl/texture.h"
#include "gl/varray.h"
#include "scenes/scene.h"
#include "text/font.h"

class lines;

class opening : public scene {
public:
    opening();

    static constexpr int stars = 10000;

    // The starfield's cameras at production time T in milliseconds, for the current window:
    // 0 (A) and 1 (B) look out from near the centre in directions that sweep round, rolling.
    static glm::mat4 camera(int which, float T);
    // The fades at T: the two title lines and the stars.
    static float firstvisibilityat(float T);
    static float secondvisibilityat(float T);
    static float starvisibilityat(float T);

    // The starfield's kernel runs once per step.
    void update() override;
    // Publishes the children and the starfield. True once the opening has stepped, unless its
    // act is `lines` and lines has not: lines replaces the whole picture.
    bool sync() override;
    // Also lets go of the titles, their pass and the starfield.
    void leave(talvo::state* next) override;

    // Where the ink of a string texture lies, in its texture coordinates.
    struct inkbox {
        glm::vec2 from{0.0f};
        glm::vec2 to{1.0f};
    };

protected:
    // The children (the particles from 12 s, lines from 28 s), then, until 28 s, the title
    // cards and the stars added on top.
    void drawscene() override;

    talvo::Font font;
    talvo::Texture firsttitle;
    talvo::Texture secondtitle;
    inkbox firstink;
    inkbox secondink;
    talvo::FSShader titlepass;
    talvo::Program starfield;
    talvo::PointGenerator starpoints;
    talvo::VArray starva;

    // Published by their channels in sync.
    float firstvisibility = 0.0f;
    float secondvisibility = 0.0f;
    glm::mat4 starmatrix{1.0f};
    float starvisibility = 0.0f;
    bool titleflag = true;

    // The acts (nothing, the particles, lines) and the last of them; the children own both.
    talvo::controls::control<talvo::state>* acts = nullptr;
    lines* nested = nullptr;

private:
    void drawtitles();
    void drawstars();
};
