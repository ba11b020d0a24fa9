#include "scenes/flight.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "cl/curvegenerator.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/data.h"
#include "engine/globals.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "scenes/camera.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

constexpr float scenestart = float(talvo::schedule::startof("flight"));
constexpr int cameracuts = 1000;

struct framing {
    float fov;
    glm::vec3 eye;     // at scene time 0; z advances with the flight
    glm::vec3 centre;  // likewise
    glm::vec3 up;
    float speed;       // units per millisecond along +Z
};

// Cameras 0 to 2 fly at 30 units per second, 3 and 4 (looking down) at 40.
const framing framings[5] = {
    {45.0f, {0.0f, 0.0f, -35.0f}, {0.0f, 0.0f, 10.0f}, {0.0f, 1.0f, 0.0f}, 0.03f},
    {45.0f, {10.0f, 0.0f, -35.0f}, {0.0f, 0.0f, 10.0f}, {0.0f, 1.0f, 0.0f}, 0.03f},
    {25.0f, {0.0f, 10.0f, -35.0f}, {0.0f, 0.0f, 10.0f}, {0.0f, 1.0f, 0.0f}, 0.03f},
    {80.0f, {0.0f, 10.0f, -35.0f}, {0.0f, 0.0f, -35.0f}, {1.0f, 0.0f, 0.0f}, 0.04f},
    {120.0f, {0.0f, 300.0f, -35.0f}, {0.0f, 0.0f, -15.0f}, {1.0f, 0.0f, 0.0f}, 0.04f},
};

}  // namespace

glm::mat4 flight::camera(int k, float t) {
    const framing& f = framings[k];
    const glm::vec3 forward(0.0f, 0.0f, f.speed * t);
    return camera::perspective(f.fov, camera::windowaspect(), 1.0f, 5000.0f) *
           camera::rotation(0.013f * t, glm::vec3(0.0f, 0.0f, 1.0f)) *
           camera::lookat(f.eye + forward, f.centre + forward, f.up);
}

float flight::glowat(float t) {
    return 1.0f + 0.5f * std::sin(0.001f * t);
}

float flight::whitepointat(float t) {
    return 45.0f + 20.0f * std::sin(0.001f * t);
}

flight::flight()
    : scene(scenestart, targets().withdepth().attacheveryframe()), triangles("passthrough.vert", "flight_tri.geom", "flight_tri.frag"),
      points("passthrough.vert", "flight_pt.geom", "flight_pt.frag"),
      sparks("passthrough.vert", "flight_pt.geom", "flight_ext.frag") {
    std::unique_ptr<ftree> hub = hubroot(10);
    root = hub.get();
    growthrate = 0.0015f;
    auto* cameratimeline = children.add(std::make_unique<controls::timercontrol>());
    // The cameras write the root's transform during the update, so the tree publishes the
    // camera of the step it drew; published through sync, every frame would show the previous
    // frame's camera.
    cameras = children.add(std::make_unique<controls::control<pdata<glm::mat4>>>());
    // After the timeline and the cameras: a cut fired in a sync is published by the same sync.
    children.add(std::move(hub));

    const std::string pathsource = loadsnippet("flight.slcl");
    auto* path = root->addChild(std::make_unique<ftree>(CurveGenerator(pathsource, pathvertices, ""),
                                                        [this](glm::mat4 m, VArray& va, int n) { drawpath(m, va, n); }));
    // Every line is the same row of sparks from x = -500 to 499; hung on the path, its x axis
    // is the path's normal there, so the lines cross the path.
    const CurveGenerator line("x=f*1000-500;z=0;y=0;", sparksperline, "");
    // Seeded here, so that no scene built before this one moves the lines.
    std::srand(seed);
    for (int i = 0; i < lines; ++i) {
        auto node = std::make_unique<ftree>(line, [this](glm::mat4 m, VArray& va, int n) { drawsparks(m, va, n); });
        node->attach = std::clamp(float(std::rand() % 1000) * 0.001f, 0.0f, 1.0f);
        path->addChild(std::move(node));
    }

    // Absolute times from -2000 ms, one cut every four seconds: the first sync of the scene
    // fires the 35 already passed and lands on camera 0.
    cameratimeline->addlistener(cameras);
    for (int i = 0; i < cameracuts; ++i) {
        cameratimeline->addevent(float(2 * i - 1) * 2000.0f);
        cameras->addtrigger(i);
    }
    for (int k = 0; k < 5; ++k) addpchannel<glm::mat4>(*cameras, [this, k] { return camera(k, scenetime()); }, &root->transform);

    auto glowing = std::make_unique<controls::control<data<float>>>();
    addchannel<float>(*glowing, [this] { return glowat(scenetime()); }, &glow);
    auto whitening = std::make_unique<controls::control<data<float>>>();
    addchannel<float>(*whitening, [this] { return whitepointat(scenetime()); }, &whitepoint);
    children.add(std::move(whitening));
    children.add(std::move(glowing));

    hdr = std::make_unique<FSShader>("hdr.frag", 1);
}

void flight::drawpath(const glm::mat4& m, VArray& va, int count) {
    additivesprites();
    // The path twice on the same vertices: as a ribbon, and as sprites drawn from the strip's
    // segments, each lit by its segment's length.
    drawgeometry(triangles, m, va, count, GL_TRIANGLE_STRIP);
    drawsprites(points, m, va, count);
}

void flight::drawsparks(const glm::mat4& m, VArray& va, int count) {
    additivesprites();
    drawsprites(sparks, m, va, count);
}

void flight::prepare() {
    for (Program* p : {&points, &sparks}) setgains(*p, glm::vec3(1.5f, 0.8f, 0.3f) * glow);
    for (Program* p : {&points, &sparks}) setscreensize(*p);
}

void flight::passuniforms() {
    hdr->setUniform("maxbright", whitepoint);
    hdr->setUniform("exposure", 1.0f);
}

void flight::preparepass() {
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
}
