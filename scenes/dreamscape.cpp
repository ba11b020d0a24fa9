#include "scenes/dreamscape.h"

#include <algorithm>
#include <cmath>
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

constexpr float scenestart = float(talvo::schedule::startof("dreamscape"));
constexpr int groundpoints = 3000000;
constexpr int skypoints = 500000;

// The camera's place on its circle at scene time t: 0.0004 radians per millisecond.
float circleangle(float t) {
    return 0.0004f * t;
}

glm::vec3 cameraeye(float a) {
    return glm::vec3(1700.0f * std::cos(a), 1200.0f, 1700.0f * std::sin(a));
}

glm::mat4 projection() {
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 50000.0f);
}

}  // namespace

glm::mat4 dreamscape::cameracentre(float t) {
    const float a = circleangle(t);
    return projection() * camera::lookat(cameraeye(a), glm::vec3(0.0f, 350.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

glm::mat4 dreamscape::cameraahead(float t) {
    const float a = circleangle(t);
    // The point a quarter turn ahead on the circle, at height 350.
    const glm::vec3 ahead(-1700.0f * std::sin(a), 350.0f, 1700.0f * std::cos(a));
    return projection() * camera::lookat(cameraeye(a), ahead, glm::vec3(0.0f, 1.0f, 0.0f));
}

dreamscape::dreamscape()
    : scene(scenestart, targets()), ground("passthrough.vert", "dreamscape_pt.geom", "dreamscape_pt.frag"),
      sky("passthrough.vert", "dreamscapesky_pt.geom", "dreamscapesky_pt.frag") {
    std::unique_ptr<ftree> hub = hubroot(10);
    root = hub.get();
    growthfirst = true;
    // Both clouds sweep into view within the scene's first tenth of a second.
    growthrate = 0.01f;
    droponleave = true;
    maxbright = 20.0f;
    exposure = 0.5f;

    hdr = std::make_unique<FSShader>("dreamscapehdr.frag", 1);
    cameratimeline = children.add(std::make_unique<controls::timercontrol>());
    cameras = children.add(std::make_unique<controls::control<pdata<glm::mat4>>>());
    cameratimeline->addlistener(cameras);
    // The first event (86000) is already overdue when the scene is entered: its first sync
    // switches to the second camera, which the scene therefore opens on.
    for (int i = 0; i < 8; ++i) {
        cameratimeline->addevent(scenestart + float(2 * i - 1) * 2000.0f);
        cameras->addtrigger(i);
    }
    addpchannel<glm::mat4>(*cameras, [this] { return cameracentre(scenetime()); }, &root->transform);
    addpchannel<glm::mat4>(*cameras, [this] { return cameraahead(scenetime()); }, &root->transform);

    auto* distortion = children.add(std::make_unique<controls::control<data<float>>>());
    addchannel<float>(*distortion, [this] { return std::max(0.0f, (scenetime() - 22000.0f) * 0.001f); }, &distort);
    auto* flashing = children.add(std::make_unique<controls::control<data<float>>>());
    addchannel<float>(*flashing, [this] { return std::min(std::max(500.0f - scenetime(), 0.0f), 500.0f); }, &flash);

    const std::string groundsource = loadsnippet("dreamscape.slcl");
    root->addChild(std::make_unique<ftree>(CurveGenerator(groundsource, groundpoints, ""),
                                           [this](glm::mat4 m, VArray& va, int n) { drawpoints(ground, m, va, n); }));
    const std::string skysource = loadsnippet("dreamscapesky.slcl");
    root->addChild(std::make_unique<ftree>(CurveGenerator(skysource, skypoints, ""),
                                           [this](glm::mat4 m, VArray& va, int n) { drawpoints(sky, m, va, n); }));

    children.add(std::move(hub));
    runonce();
}

void dreamscape::drawpoints(Program& program, const glm::mat4& mat, VArray& va, int count) {
    program.setUniform("distort", distort);
    drawgeometry(program, mat, va, count, GL_POINTS);
}

void dreamscape::prepare() {
    GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
    for (Program* p : {&ground, &sky}) setscreensize(*p);
}

void dreamscape::drawscene() {
    // The flash is an HDR value of up to 500, far above the pass's white point.
    const float v = flash;
    if (v > 0.1f)
        GLCHECKED(glClearColor(v, v, v, 0.0f));
    else
        GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    GLCHECKED(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
    GLCHECKED(glDepthMask(GL_FALSE));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glDepthFunc(GL_LESS));
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    children.display();
}

void dreamscape::passuniforms() {
    scene::passuniforms();
    hdr->program().setUniform("res", glm::vec2(float(windowwidth), float(windowheight)));
    hdr->setUniform("distort", distort);
}

void dreamscape::preparepass() {
    GLCHECKED(glDepthMask(GL_TRUE));
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glDisable(GL_BLEND));
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
}
