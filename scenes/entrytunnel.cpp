#include "scenes/entrytunnel.h"

#include <algorithm>
#include <memory>
#include <string>

#include "cl/curvegenerator.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/data.h"
#include "engine/globals.h"
#include "engine/pdata.h"
#include "scenes/camera.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

constexpr float scenestart = float(talvo::schedule::startof("entrytunnel"));
// The whiteout begins this long into the scene.
constexpr float whiteoutdelay = 10000.0f;

}  // namespace

glm::mat4 entrytunnel::camera(float t) {
    // 40 units a second along the axis, from 120 units before the tunnel's start.
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 5000.0f) *
           camera::lookat(glm::vec3(0.0f, 0.0f, 0.04f * t - 120.0f), glm::vec3(0.0f, 0.0f, 0.04f * t + 10.0f),
                          glm::vec3(0.0f, 1.0f, 0.0f));
}

float entrytunnel::whiteoutat(float t) {
    return std::max(0.0f, (t - whiteoutdelay) * 0.01f);
}

float entrytunnel::whitepointat(float w) {
    return std::max(20.0f - w, 1.0f);
}

entrytunnel::entrytunnel()
    : scene(scenestart, targets().insideparent().withdepth().attacheveryframe()), triangles("passthrough.vert", "flight_tri.geom", "entrytunnel_tri.frag"),
      points("passthrough.vert", "flight_pt.geom", "flight_pt.frag") {
    std::unique_ptr<ftree> hub = hubroot(10);
    root = hub.get();
    // 300 of the tunnel's vertices a second; the growth is set after each step's update.
    growthrate = 0.000003f;
    // Written on the update thread, so that each frame looks from the camera of its own time
    // at the geometry of that time; a channel published in sync would reach the tree only
    // after it has published, a frame late.
    auto cameras = std::make_unique<controls::control<pdata<glm::mat4>>>();
    children.add(std::move(hub));
    auto* camerachannels = children.add(std::move(cameras));

    const std::string tunnelsource = loadsnippet("entrytunnel.slcl");
    root->addChild(std::make_unique<ftree>(CurveGenerator(tunnelsource, tunnelvertices, ""),
                                           [this](glm::mat4 m, VArray& va, int n) { drawtunnel(m, va, n); }));
    addpchannel<glm::mat4>(*camerachannels, [this] { return camera(scenetime()); }, &root->transform);

    auto* whitening = children.add(std::make_unique<controls::control<data<float>>>());
    addchannel<float>(*whitening, [this] { return whiteoutat(scenetime()); }, &whiteout);

    hdr = std::make_unique<FSShader>("hdr.frag", 1);
    // The tunnel's picture is added onto the parent's, never replaces it.
    hdr->setClear(false);
    runonce();
}

void entrytunnel::drawtunnel(const glm::mat4& m, VArray& va, int count) {
    additivesprites();
    // The same vertices twice: as a ribbon, and as sprites drawn from the strip's segments, each
    // lit by its segment's length.
    drawgeometry(triangles, m, va, count, GL_TRIANGLE_STRIP);
    drawsprites(points, m, va, count);
}

void entrytunnel::prepare() {
    setgains(points, {1.5f, 0.8f, 1.8f});
    setscreensize(points);
}

void entrytunnel::drawscene() {
    GLCHECKED(glDepthMask(GL_TRUE));
    // The whiteout lives in the HDR image, as a clear colour far above the white point, set
    // only once the delay has passed. Both the time and the value are the ones sync published:
    // the update thread may be stepping the clock meanwhile.
    if (float(publishedtime()) > start + whiteoutdelay) {
        const float v = 10.0f * whiteout;
        GLCHECKED(glClearColor(v, v, v, 1.0f));
    }
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
    children.display();
}

void entrytunnel::passuniforms() {
    hdr->setUniform("maxbright", whitepointat(whiteout));
    hdr->setUniform("exposure", 1.0f);
}

void entrytunnel::preparepass() {
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    GLCHECKED(glDepthMask(GL_FALSE));
}
