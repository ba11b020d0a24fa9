#include "scenes/entryway.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cl/curvegenerator.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/globals.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "scenes/camera.h"
#include "scenes/entrytunnel.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

constexpr float scenestart = float(talvo::schedule::startof("entryway"));
// The turn into the picture, when the tunnel starts.
constexpr float turntime = float(talvo::schedule::startof("entrytunnel"));

glm::mat4 projection() {
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 5000.0f);
}

// 10 degrees a second about the view axis.
glm::mat4 roll(float t) {
    return camera::rotation(0.01f * t, glm::vec3(0.0f, 0.0f, 1.0f));
}

}  // namespace

// Each ribbon runs 120 units along x and rises in a sigmoid step of height 15 around its
// middle; odd vertices are lifted by a further 4f, so the strip is a band widening from 0 to
// 4. The normal is (x, y, 0), the tangent (0, 1, 0). The runs of tabs are part of the source.
const char* const entryway::ribbonexpression =
    "float odd = (float)((i)%2); \t\t\t\t\t\t\t\t\t"
    "float p = f*2*3.14159; \t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t"
    "float n = (pow(sin(p),2.f)>0.95f?1.f:0.f); \t\t\t\t\t\t\t\t\t"
    "y=sig((f-0.5f)*30.f)*15.f+odd*f*4; \t\t\t\t\t\t\t\t\t"
    "x=f*120; \t\t\t\t\t\t\t\t\t"
    "xn=x; \t\t\t\t\t\t\t\t\t"
    "yn=y; \t\t\t\t\t\t\t\t\t"
    "yt=1";

const char* const entryway::ribbonprefix = "float sig(float t){return 1.f/(1.f+pow(2.71828f,-t)); }";

glm::mat4 entryway::cameraslide(float t) {
    const float x = 0.01f * t - 10.0f;
    return projection() * roll(t) *
           camera::lookat(glm::vec3(x, 0.0f, 70.0f), glm::vec3(x, 0.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

glm::mat4 entryway::cameraflight(float t) {
    const float x = 0.01f * t - 10.0f;
    // 50 units a second along -Z from the turn on.
    const float z = -0.05f * (t + scenestart - turntime);
    return projection() * roll(t) *
           camera::lookat(glm::vec3(x, 0.0f, 70.0f + z), glm::vec3(x, 0.0f, z), glm::vec3(0.0f, 1.0f, 0.0f));
}

entryway::entryway()
    : scene(scenestart, targets().attacheveryframe()), ribbon("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag") {
    std::unique_ptr<ftree> hub = hubroot(1);
    root = hub.get();
    // The tree is fully grown ten seconds in; ribbons hung further out start later.
    growthfirst = true;
    growthrate = 0.0001f;
    droponleave = true;
    maxbright = 1.0f;
    exposure = 5.0f;

    timeline = children.add(std::make_unique<controls::timercontrol>());
    timeline->addevent(turntime);
    timeline->addevent(80000.0f);
    hdr = std::make_unique<FSShader>("hdr.frag", 1);
    children.add(std::move(hub));

    const CurveGenerator ribboncurve(ribbonexpression, ribbonvertices, ribbonprefix);

    cameras = children.add(std::make_unique<controls::control<pdata<glm::mat4>>>());
    cameras->addtrigger(0);
    timeline->addlistener(cameras);
    addpchannel<glm::mat4>(*cameras, [this] { return cameraslide(scenetime()); }, &root->transform);
    addpchannel<glm::mat4>(*cameras, [this] { return cameraflight(scenetime()); }, &root->transform);

    // Each ribbon hangs on the hub or on an earlier ribbon, never on the one added just before
    // it. Seeded here, so that the tree is the same on every run, whatever was built before.
    std::srand(seed);
    std::vector<cltreebase*> nodes{root};
    for (int k = 0; k < ribbons; ++k) {
        auto node = std::make_unique<ftree>(ribboncurve, [this](glm::mat4 m, VArray& va, int n) {
            drawgeometry(ribbon, m, va, n, GL_TRIANGLE_STRIP);
        });
        const size_t n = nodes.size();
        const size_t p = n <= 1 ? 0 : size_t(std::rand()) % (n - 1);
        if (p > 0) node->attach = std::clamp(float(std::rand() % 100) * 0.01f, 0.0f, 1.0f);
        nodes.push_back(nodes[p]->addChild(std::move(node)));
    }

    act = children.add(std::make_unique<controls::control<state>>());
    act->additem(std::make_unique<statelist>());
    act->additem(std::make_unique<entrytunnel>())->mapsintoparent(exposure, maxbright);
    act->addtrigger(0);
    timeline->addlistener(act);
}

void entryway::prepare() {
    GLCHECKED(glDepthMask(GL_TRUE));
    additivelight();
    setscreensize(ribbon);
}

void entryway::drawscene() {
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
    children.display();
}

void entryway::preparepass() {
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
}
