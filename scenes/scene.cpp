#include "scenes/scene.h"

#include <malloc.h>

#include "cl/curvegenerator.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/sharedtargets.h"

using namespace talvo;

scene::scene(float starttime, targets where) : start(starttime), where(where) {}

float scene::productiontime() {
    return float(talvo::productiontime());
}

void scene::update() {
    if (growthfirst && root) root->setGrowth(scenetime() * growthrate);
    children.update();
    if (!growthfirst && root) root->setGrowth(scenetime() * growthrate);
    stepped = true;
}

bool scene::sync() {
    return children.sync() && stepped;
}

void scene::resize(int width, int height) {
    children.resize(width, height);
    target = std::make_unique<Framebuffer>(Framebuffer::create());
    colour = std::make_unique<Texture>(where.nested ? sharedcolor2 : sharedcolor);
    if (where.depth)
        depth = std::make_unique<Texture>(shareddepth);
    else
        depth.reset();
    if (!where.attachindisplay) {
        target->attachColor(*colour, 0);
        if (depth) target->attachDepth(*depth);
    }
}

void scene::enter(state* previous) {
    stepped = false;
    if (root) root->setGrowth(scenetime() * growthrate);
    children.enter(previous);
}

void scene::leave(state* next) {
    children.leave(next);
    stepped = false;
    target.reset();
    colour.reset();
    depth.reset();
    if (droponleave) {
        hdr.reset();
        // Never entered again: its generators' GPU memory goes now rather than at the end.
        children.clear();
        root = nullptr;
        // What it let go of, and the driver's scratch for drawing it (some 80 MB of small
        // blocks at 1280x720), lies free among what the later scenes hold; unreturned, the heap
        // keeps those pages pass after pass and a loop's memory creeps up.
        malloc_trim(0);
    }
}

void scene::display() {
    prepare();
    if (where.attachindisplay) {
        target->attachColor(*colour, 0);
        if (depth) target->attachDepth(*depth);
    }
    target->bind();
    drawscene();
    glcheck("f(); (This probably indicates an error either in a scene rendered in a framebuffer, or the framebuffer "
            "setup.)");
    target->unbind();
    hdr->setTexture("tex", *colour);
    hdr->setUniform("samples", colour->samples);
    passuniforms();
    if (where.nested) {
        hdr->setUniform("parentexposure", parentexposure);
        hdr->setUniform("parentmaxbright", parentmaxbright);
    }
    preparepass();
    hdr->display();
}

void scene::mapsintoparent(float exposure, float maxbright) {
    parentexposure = exposure;
    parentmaxbright = maxbright;
}

void scene::drawscene() {
    if (depth) GLCHECKED(glDepthMask(GL_TRUE));
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    children.display();
}

void scene::passuniforms() {
    hdr->setUniform("maxbright", maxbright);
    hdr->setUniform("exposure", exposure);
}

void scene::preparepass() {
    GLCHECKED(glDisable(GL_DEPTH_TEST));
}

void scene::runonce() {
    children.sync();
    children.display();
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
}

std::unique_ptr<ftree> scene::hubroot(int vertices) {
    const CurveGenerator hub(vertices == 1 ? "xn=1;yt=1" : "xn=1;yt=1;", vertices, "");
    return std::make_unique<ftree>(hub, [](glm::mat4, VArray&, int) {});
}

void additivelight() {
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
}

void additivesprites() {
    additivelight();
    GLCHECKED(glDepthMask(GL_FALSE));
    GLCHECKED(glDepthFunc(GL_LESS));
}

void setgains(Program& program, const glm::vec3& gains) {
    program.use();
    program.setUniform("red", gains.r);
    program.setUniform("green", gains.g);
    program.setUniform("blue", gains.b);
}

void setscreensize(Program& program) {
    program.setUniform("screenSize", glm::vec2(float(windowwidth), float(windowheight)));
}

void drawgeometry(Program& program, const glm::mat4& mat, VArray& va, int count, GLenum mode) {
    program.use();
    // Takes effect at the program's next link only; the shaders also declare location 0.
    GLCHECKED(glBindAttribLocation(program.name(), 0, "pos"));
    program.setUniform("mat", mat);
    va.draw(count, 1, mode);
}

void drawsprites(Program& program, const glm::mat4& mat, VArray& va, int count) {
    if (count != 1) {
        drawgeometry(program, mat, va, count, GL_LINE_STRIP);
        return;
    }
    program.setUniform("lone", 1);
    drawgeometry(program, mat, va, 2, GL_LINE_STRIP);
    program.setUniform("lone", 0);
}
