#include "cl/cltreebase.h"

#include <algorithm>
#include <glm/gtc/matrix_transform.hpp>

#include "cl/clcontext.h"

namespace talvo {

cltreebase::cltreebase(const CurveGenerator& generator) : geometry(generator) {}

void cltreebase::display() {
    drawTree(glm::mat4(1.0f));
}

void cltreebase::update() {
    updateTree(nullptr, 0.0f);
}

void cltreebase::setGrowth(float t) {
    growth = int(float(geometry.count()) * t);
    for (const auto& child : children) child->setGrowth(t);
}

void cltreebase::setpending() {
    geometry.setUpdatePending();
    for (const auto& child : children) child->setpending();
}

void cltreebase::updateTree(cltreebase* parent, float offset) {
    if (parent) {
        CurveGenerator& curve = parent->geometry;
        const int count = curve.count();
        int idx = int(float(count) * attach);
        // The parent's kernel has already run in this step.
        curve.readBack();
        if (idx >= count)
            idx = count - 1;
        else if (idx < 0)
            idx = 0;
        const size_t at = size_t(idx) * 4;
        position = glm::vec3(curve.positions()[at], curve.positions()[at + 1], curve.positions()[at + 2]);
        normal = glm::normalize(glm::vec3(curve.normals()[at], curve.normals()[at + 1], curve.normals()[at + 2]));
        tangent = glm::normalize(glm::vec3(curve.tangents()[at], curve.tangents()[at + 1], curve.tangents()[at + 2]));
    } else {
        setpending();
        normal = glm::vec3(1.0f, 0.0f, 0.0f);
        tangent = glm::vec3(0.0f, 1.0f, 0.0f);
        position = glm::vec3(0.0f);
        CLContext::instance()->acquireGL();
    }
    const float reached = attach + offset;
    const int count = geometry.count();
    drawcount = std::clamp(growth - int(float(count) * reached), 0, count);
    geometry.update();
    for (const auto& child : children) child->updateTree(this, reached);
    if (!parent) CLContext::instance()->releaseGL();
}

bool cltreebase::sync() {
    geometry.publish();
    shown_.attach = attach;
    shown_.normal = normal;
    shown_.position = position;
    shown_.drawcount = drawcount;
    shown_.children.clear();
    for (const auto& child : children) shown_.children.push_back(child.get());
    shown_.tangent = tangent;
    shown_.transform = transform;
    for (const auto& child : children) child->sync();
    return true;
}

void cltreebase::drawTree(glm::mat4 m) {
    const published& s = shown_;
    if (s.position != glm::vec3(0.0f)) m = glm::translate(m, s.position);
    const glm::vec3 c = glm::normalize(glm::cross(s.normal, s.tangent));
    const glm::mat4 r(glm::vec4(s.normal, 0.0f), glm::vec4(s.tangent, 0.0f), glm::vec4(c, 0.0f),
                      glm::vec4(0.0f, 0.0f, 0.0f, 1.0f));
    m = m * r * s.transform;
    drawNode(m);
    for (cltreebase* child : s.children) child->drawTree(m);
}

}  // namespace talvo
