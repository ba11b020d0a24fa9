#include "scenes/lines.h"

#include <algorithm>
#include <memory>

#include "cl/curvegenerator.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/data.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "scenes/camera.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

constexpr float scenestart = float(talvo::schedule::startof("lines"));
// Camera cuts at 2, 4, ... 42 s of production time.
constexpr int cameracuts = 21;

}  // namespace

glm::mat4 lines::camera(int which, float T) {
    const glm::vec3 eye = which == 0 ? glm::vec3(0.0f, 150.0f, -35.0f) : glm::vec3(0.0f, 50.0f, -35.0f);
    const glm::vec3 centre = which == 0 ? glm::vec3(0.0f, 25.0f, 10.0f) : glm::vec3(0.0f, 70.0f, 10.0f);
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 5000.0f) *
           camera::lookat(eye, centre, glm::vec3(0.0f, 1.0f, 0.0f)) *
           camera::rotation(0.01f * T, glm::vec3(0.0f, 1.0f, 0.0f));
}

float lines::squash(float T) {
    return std::min(std::max(1.0f + (44000.0f - T) * 0.005f, -10.0f), 1.0f);
}

glm::mat4 lines::placement(int i, float T) {
    const int ring = i / perring;
    const float k = squash(T);
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    // Five copies 72 degrees apart on each ring, every other ring turned by half that.
    return camera::rotation(72.0f * float(i) + 36.0f * float(ring), up) *
           camera::translation(glm::vec3(float(ring + 1) * 30.0f, 0.0f, 0.0f)) * camera::rotation(-0.05f * T, up) *
           camera::scaling(glm::vec3(k, 1.0f, k));
}

float lines::whitepointrise(float T) {
    return std::max(0.0f, (T - 44000.0f) * 0.01f);
}

lines::lines()
    : scene(scenestart, targets().insideparent()), triangles("passthrough.vert", "flight_tri.geom", "flight_tri.frag"),
      points("passthrough.vert", "flight_pt.geom", "flight_pt.frag") {
    std::unique_ptr<ftree> hub = hubroot(10);
    root = hub.get();
    growthrate = 0.001f;
    cameratimeline = children.add(std::make_unique<controls::timercontrol>());
    cameras = children.add(std::make_unique<controls::control<pdata<glm::mat4>>>());
    // After the timeline and the cameras: a cut fired in a sync is published by the same sync.
    children.add(std::move(hub));

    // One generator for every copy: its kernel runs once per step.
    const CurveGenerator curve(loadsnippet("opening.slcl"), vertices, "");
    for (int i = 0; i < copies; ++i) {
        auto node = std::make_unique<ftree>(curve, [this](glm::mat4 m, VArray& va, int n) { drawcopy(m, va, n); });
        auto* placing = children.add(std::make_unique<controls::control<pdata<glm::mat4>>>());
        addpchannel<glm::mat4>(*placing, [i] { return placement(i, productiontime()); }, &node->transform);
        root->addChild(std::move(node));
    }

    // Absolute times: the scene's first sync, at 28 s, fires the fourteen already passed and
    // lands on camera A; then a cut every two seconds until B from 42 s.
    for (int i = 2; i <= cameracuts + 1; ++i) {
        cameratimeline->addevent(float(i - 1) * 2000.0f);
        cameras->addtrigger(i - 2);
    }
    cameratimeline->addlistener(cameras);
    for (int which : {0, 1})
        addpchannel<glm::mat4>(*cameras, [which] { return camera(which, productiontime()); }, &root->transform);

    hdr = std::make_unique<FSShader>("hdr.frag", 1);
    auto* whitening = children.add(std::make_unique<controls::control<data<float>>>());
    addchannel<float>(*whitening, [] { return whitepointrise(productiontime()); }, &rise);

    runonce();
}

void lines::drawcopy(const glm::mat4& m, VArray& va, int count) {
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));

    triangles.use();
    GLCHECKED(glBindAttribLocation(triangles.name(), 0, "pos"));
    triangles.setUniform("mat", m);
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glDepthMask(GL_FALSE));
    GLCHECKED(glDepthFunc(GL_LESS));
    va.draw(count, 1, GL_TRIANGLE_STRIP);

    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    GLCHECKED(glDepthMask(GL_FALSE));
    // Sprites from the strip's segments, each lit by its segment's length.
    drawsprites(points, m, va, count);

    GLCHECKED(glDisable(GL_PROGRAM_POINT_SIZE));
    GLCHECKED(glDisable(GL_BLEND));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glDepthMask(GL_TRUE));
}

void lines::prepare() {
    setgains(points, {1.5f, 1.8f, 1.3f});
    setscreensize(points);
}

void lines::drawscene() {
    GLCHECKED(glDepthMask(GL_TRUE));
    scene::drawscene();
}

void lines::passuniforms() {
    hdr->setUniform("maxbright", 20.0f + 10.0f * rise);
    hdr->setUniform("exposure", 1.0f);
}

void lines::preparepass() {
    // The opening's framebuffer is bound again: its image is replaced by this picture.
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
}
