#include "scenes/credits.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "cl/curvegenerator.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/data.h"
#include "engine/globals.h"
#include "engine/pdata.h"
#include "scenes/camera.h"
#include "text/rendertext.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

constexpr float scenestart = float(talvo::schedule::startof("credits"));
constexpr const char* fontfile = "exmouth/exmouth_.ttf";

glm::mat4 projection() {
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 5000.0f);
}

}  // namespace

glm::mat4 credits::rootcamera(float t) {
    return projection() * camera::rotation(180.0f, glm::vec3(0.0f, 0.0f, 1.0f)) *
           camera::lookat(glm::vec3(0.01f * t - 10.0f, 0.0f, 70.0f), glm::vec3(0.006f * t - 10.0f, 0.0f, 0.0f),
                          glm::vec3(0.0f, 1.0f, 0.0f));
}

glm::mat4 credits::textcamera(float t) {
    return projection() *
           camera::lookat(glm::vec3(300.0f - 0.01f * t, 0.0f, 70.0f), glm::vec3(300.0f - 0.006f * t, -5.0f, 0.0f),
                          glm::vec3(0.0f, 1.0f, 0.0f)) *
           camera::scaling(glm::vec3(10.0f));
}

float credits::exposureat(float t) {
    return std::min(t * 0.001f, 3.0f);
}

float credits::visibilityat(int i, float t) {
    const int n = int(texts.size());
    return 40.0f * float(n - i) + 60.0f - 0.01f * t;
}

credits::credits() : scene(scenestart, targets()) {
    std::unique_ptr<ftree> hub = hubroot(1);
    font = Font(fontfile);
    ribbon = Program("passthrough.vert", "passthrough_tri.geom", "entryway_ribbon.frag");
    growthfirst = true;
    growthrate = 0.0001f;
    hdr = std::make_unique<FSShader>("hdr.frag", 1);
    textpass = FSShader("credits_font.frag", 1);
    root = children.add(std::move(hub));

    const std::string tools = loadsnippet("tools.slcl");
    const CurveGenerator branch(loadsnippet("credits.slcl"), branchvertices, tools);

    font.setsize();
    for (const char* text : texts) {
        lines.push_back(renderText(font, text));
        // The cards show the lines far smaller than their 200-pixel raster: sample the
        // mipmaps renderText made, or the letters shimmer as they drift.
        lines.back().bind();
        GLCHECKED(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR));
    }

    addpchannel<glm::mat4>(children, [this] { return rootcamera(scenetime()); }, &root->transform);
    addchannel<glm::mat4>(children, [this] { return textcamera(scenetime()); }, &textview);
    addchannel<float>(children, [this] { return exposureat(scenetime()); }, &exposure);

    // Every branch on the one generator. A branch hangs on a random earlier node, never on the
    // one added just before it; on the hub it hangs at its start, elsewhere at a random
    // hundredth of its parent's length. Seeded here, so that no scene built before this one
    // moves the tree.
    std::srand(seed);
    std::vector<cltreebase*> nodes{root};
    for (int k = 0; k < branches; ++k) {
        auto node = std::make_unique<ftree>(branch, [this](glm::mat4 m, VArray& va, int n) {
            drawgeometry(ribbon, m, va, n, GL_TRIANGLE_STRIP);
        });
        const size_t n = nodes.size();
        const size_t parent = n <= 1 ? 0 : size_t(std::rand()) % (n - 1);
        node->attach = parent == 0 ? 0.0f : std::clamp(float(std::rand() % 100) * 0.01f, 0.0f, 1.0f);
        nodes.push_back(nodes[parent]->addChild(std::move(node)));
    }
}

void credits::prepare() {
    GLCHECKED(glDepthMask(GL_TRUE));
    additivelight();
    setscreensize(ribbon);
}

void credits::drawscene() {
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
    children.display();
    // The cards fade on the update clock as it stood when the frame began.
    const float t = float(publishedtime()) - start;
    for (int i = 0; i < int(lines.size()); ++i) {
        textpass.setTransform(textview * camera::translation(glm::vec3(3.0f * float(i), 0.0f, 0.0f)));
        textpass.setTexture("text", lines[size_t(i)]);
        textpass.setUniform("visibility", visibilityat(i, t));
        textpass.setClear(false);
        textpass.display();
    }
}

void credits::preparepass() {
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT));
}
