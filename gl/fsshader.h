#pragma once
// A full-screen pass: a fragment shader run over the whole viewport. The program is built from
// "null.vert", "fsquad.geom" and the pass's fragment shader; one point per instance becomes a
// quad that covers the viewport while the transform "m" is the identity.
//
// Copies share the instance count, the clear flag and the texture inputs, and hold their own
// counted copies of the program and the (attribute-less) vertex array.
#include <glm/glm.hpp>
#include <string>
#include <utility>
#include <vector>

#include "gl/program.h"
#include "gl/shared.h"
#include "gl/texture.h"
#include "gl/varray.h"

namespace talvo {

class FSShader {
public:
    // An empty handle: no program.
    FSShader() = default;
    // Builds the program (a missing file ends the process, a failed compile or link throws)
    // and sets "m" to the identity. Clears before drawing until told otherwise.
    FSShader(const std::string& fragmentfile, int instances);

    // The texture input of a sampler. A name keeps the texture unit it got first; a new name
    // takes the next unit.
    void setTexture(const std::string& name, const Texture& texture);
    // Uniforms of other types are set on program() directly.
    void setUniform(const std::string& name, float value);
    void setUniform(const std::string& name, int value);
    // Places the quad: the identity covers the viewport; anything else draws it as a card.
    void setTransform(const glm::mat4& m);
    // False: display draws over what the target holds (to accumulate into one image).
    void setClear(bool clear) { state.fields().clear = clear; }
    bool clear() const { return state.fields().clear; }

    // Binds the inputs to units 0, 1, ... in the order they were added and draws the quad;
    // blending and depth state are the caller's.
    void display();

    Program& program() { return p; }
    int usecount() const { return state.usecount(); }

private:
    struct fields {
        int instances = 1;
        bool clear = true;
        // The position in the list is the texture unit.
        std::vector<std::pair<std::string, Texture>> tins;
    };

    // The pass has no GL name of its own: the block carries the shared fields.
    shared<GLuint, fields> state;
    Program p;
    VArray va;
};

}  // namespace talvo
