#pragma once
// What every scene shares: its children (tree root, timelines, controls, channels), a target
// framebuffer on the shared multisampled HDR targets, and the tone-mapping pass that turns the
// HDR image into the picture on screen (or, for a nested scene, into its parent's image).
//
// A scene class derives from `scene`, builds its programs, tree and timelines in its
// constructor, and overrides only the display steps it changes:
//   display: prepare -> [attach] -> bind -> drawscene -> check -> unbind -> pass uniforms ->
//            preparepass -> pass
#include <glm/glm.hpp>
#include <memory>

#include "cl/ftree.h"
#include "engine/state.h"
#include "gl/framebuffer.h"
#include "gl/fsshader.h"
#include "gl/program.h"
#include "gl/texture.h"
#include "gl/varray.h"

class scene : public talvo::state {
public:
    // Which shared target a scene draws into, and how; named where a scene is made:
    //   scene(start, targets().insideparent().withdepth())
    struct targets {
        bool nested = false;           // sharedcolor2 (inside a parent scene) or sharedcolor
        bool depth = false;            // also a copy of shareddepth
        bool attachindisplay = false;  // attach every frame, or once per resize

        constexpr targets insideparent() const { return {true, depth, attachindisplay}; }
        constexpr targets withdepth() const { return {nested, true, attachindisplay}; }
        constexpr targets attacheveryframe() const { return {nested, depth, true}; }
    };

    scene(const scene&) = delete;
    scene& operator=(const scene&) = delete;
    // Releases what the scene still owns, its children last.
    ~scene() override = default;

    void display() override;
    // The children's update and the root's growth, in the order growthfirst says.
    void update() override;
    // The children's answer, but false until a step made since the scene was entered has been
    // published: a frame never shows a scene that has not computed anything yet.
    bool sync() override;
    // New target framebuffer and new copies of the shared targets (attached here unless the
    // scene attaches in display).
    void resize(int width, int height) override;
    // Also grows the tree to the scene's time, so that its first step draws it as far grown as
    // a scene entered long ago would, not the empty tree of construction.
    void enter(talvo::state* previous) override;
    // Drops the target framebuffer and targets; a scene with droponleave also lets go of its
    // HDR pass and its children, which it never needs again.
    void leave(talvo::state* next) override;

    // Production time in milliseconds (updatetime - starttime as a 32-bit difference).
    static float productiontime();
    // Milliseconds since the scene's start time.
    float scenetime() const { return productiontime() - start; }
    // True once a step has run since the scene was last entered; in sync, once one has been
    // published.
    bool published() const { return stepped; }
    // For a nested scene: the exposure and white point of the parent's pass, which maps the
    // image this scene's pass writes into, so that the parent shows this scene's picture as this
    // scene's pass made it.
    void mapsintoparent(float exposure, float maxbright);

protected:
    // The scene builds its pass (`hdr`) itself, where its own construction order puts it.
    scene(float starttime, targets where);

    // Display step 1: the per-frame uniforms of the geometry programs.
    virtual void prepare() {}
    // Display step 4, inside the target framebuffer: clears colour and depth (depth writes
    // enabled first) and displays the children.
    virtual void drawscene();
    // Display step 7, after the pass's "tex" (the colour target) and "samples" (its sample
    // count): "maxbright" and "exposure" from the members.
    virtual void passuniforms();
    // Display step 8: depth testing off for the pass.
    virtual void preparepass();

    // For the end of a constructor: publishes and draws the children once (into whatever is
    // bound), then clears, so that every kernel and draw path has run before the production
    // starts.
    void runonce();

    // A hub root: every vertex at the origin with normal (1,0,0) and tangent (0,1,0), drawn by
    // nothing. Made with 10 vertices ("xn=1;yt=1;") or 1 ("xn=1;yt=1").
    static std::unique_ptr<talvo::ftree> hubroot(int vertices);

    // Declared first, so destroyed last.
    talvo::statelist children;
    talvo::ftree* root = nullptr;  // also among the children, which own it
    std::unique_ptr<talvo::Framebuffer> target;
    std::unique_ptr<talvo::Texture> colour;
    std::unique_ptr<talvo::Texture> depth;
    std::unique_ptr<talvo::FSShader> hdr;

    float start;
    float maxbright = 1.0f;
    float exposure = 1.0f;
    // Each update sets the root's growth fraction to (production time - start) * growthrate.
    float growthrate = 0.0f;
    bool growthfirst = false;
    bool droponleave = false;

private:
    targets where;
    float parentexposure = 0.0f;  // 0: a top-level pass, which encodes for the display
    float parentmaxbright = 1.0f;
    // A step has run since the scene was entered: set in update, read in sync, which the update
    // thread's hand-over keeps apart.
    bool stepped = false;
};

// Additive light: blending GL_ONE + GL_ONE, no depth test, sprites sized by their geometry
// shaders.
void additivelight();
// Additive light that neither tests nor writes the depth target (depth function GL_LESS), the
// state the sprite and ribbon callbacks draw in.
void additivesprites();

// Makes the program current and sets the sprite programs' colour gains "red", "green" and
// "blue".
void setgains(talvo::Program& program, const glm::vec3& gains);

// Makes the program current and sets "screenSize" to the picture's size, (windowwidth,
// windowheight) as floats: what ribbons and sprites measure their widths by.
void setscreensize(talvo::Program& program);

// The scenes' draw call: makes the program current, binds attribute 0 to "pos", sets "mat" and
// draws count vertices of the array, one instance.
void drawgeometry(talvo::Program& program, const glm::mat4& mat, talvo::VArray& va, int count, GLenum mode);

// A curve's sprites ("flight_pt.geom"), drawn as a GL_LINE_STRIP whose segments light them. A
// strip of one vertex draws nothing, so one vertex is drawn as the first segment, with "lone"
// set, which lights its start alone: the array must hold two vertices.
void drawsprites(talvo::Program& program, const glm::mat4& mat, talvo::VArray& va, int count);
