// Geometry trees: attachment, growth, one run per shared generator and step, publishing and
// the matrices handed to the draw callbacks.
#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>
#include <map>
#include <memory>
#include <vector>

#include "cl/ftree.h"
#include "support/clfixture.h"

using namespace talvo;
using namespace testsupport;

namespace {

class trees : public cltest {
protected:
    // A node whose callback records the matrix and count it was drawn with.
    std::unique_ptr<ftree> node(const CurveGenerator& curve, float attach = 0.0f) {
        auto n = std::make_unique<ftree>(curve, [this, i = drawn.size()](glm::mat4 m, VArray&, int count) {
            drawn[i] = {m, count};
        });
        drawn.emplace_back();
        n->attach = attach;
        return n;
    }
    struct draw {
        glm::mat4 m{0.0f};
        int count = -1;
    };
    std::vector<draw> drawn;
};

TEST_F(trees, ChildrenTakeTheParentsVertexAtTheirAttachment) {
    const CurveGenerator parent("x=i;y=10*i;xn=2;yt=0.5;", 10, "");
    const CurveGenerator child("xn=1;yt=1;", 2, "");
    std::unique_ptr<ftree> root = node(parent);
    root->addChild(node(child, 0.5f));
    root->addChild(node(child, 1.0f));
    root->addChild(node(child, 0.0f));
    root->update();

    EXPECT_EQ(root->children[0]->position, glm::vec3(5.0f, 50.0f, 0.0f));
    EXPECT_EQ(root->children[1]->position, glm::vec3(9.0f, 90.0f, 0.0f)) << "clamped to the last vertex";
    EXPECT_EQ(root->children[2]->position, glm::vec3(0.0f));
    EXPECT_EQ(root->children[0]->normal, glm::vec3(1.0f, 0.0f, 0.0f)) << "unit length";
    EXPECT_EQ(root->children[0]->tangent, glm::vec3(0.0f, 1.0f, 0.0f));
}

TEST_F(trees, GrowthFractionsGiveTheDrawCounts) {
    const CurveGenerator curve("xn=1;yt=1;", 10, "");
    std::unique_ptr<ftree> root = node(curve);
    ftree* child = root->addChild(node(curve, 0.5f));

    const std::map<float, std::pair<int, int>> expected{{0.0f, {0, 0}}, {1.0f, {10, 5}}, {2.0f, {10, 10}}};
    for (const auto& [fraction, counts] : expected) {
        root->setGrowth(fraction);
        root->update();
        EXPECT_EQ(root->drawcount, counts.first) << fraction;
        EXPECT_EQ(child->drawcount, counts.second) << fraction;
    }
}

TEST_F(trees, NodesSharingAGeneratorRunItOncePerStep) {
    // Each run adds 1 to what the previous run left in the vertex buffer.
    const CurveGenerator counter("x=pos[i].x+1;xn=1;yt=1;", 4, "");
    const CurveGenerator hub("xn=1;yt=1;", 10, "");
    std::unique_ptr<ftree> root = node(hub);
    root->addChild(node(counter));
    root->addChild(node(counter, 0.5f));
    root->children[1]->addChild(node(hub));  // makes the tree read the counter back

    for (float runs : {1.0f, 2.0f}) {
        root->update();
        CurveGenerator& shared = root->children[0]->geometry;
        shared.readBack();
        EXPECT_EQ(shared.positions()[0], runs);
        EXPECT_EQ(glfloats(shared.compute().buf(), 1)[0], runs);
    }
}

TEST_F(trees, DisplayDrawsWhatSyncPublishedWithAccumulatedMatrices) {
    // The parent's frame at vertex 3: position (3, 0, 0), normal +y, tangent +z.
    const CurveGenerator parent("x=i;yn=1;zt=1;", 4, "");
    std::unique_ptr<ftree> root = node(parent);
    ftree* child = root->addChild(node(parent, 0.75f));
    root->transform = glm::scale(glm::mat4(1.0f), glm::vec3(2.0f));
    child->transform = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, 7.0f));
    root->setGrowth(1.0f);
    root->update();
    root->display();
    EXPECT_EQ(drawn[0].count, 0) << "nothing published yet";

    EXPECT_TRUE(root->sync());
    root->display();
    EXPECT_EQ(drawn[0].m, root->transform);
    EXPECT_EQ(drawn[0].count, 4);
    EXPECT_EQ(drawn[1].count, 1);
    // The child's origin sits at the parent's vertex; its own z axis runs along the parent's
    // x axis (normal x tangent), so its 7 along z lands 7 further along x, doubled by the root.
    EXPECT_EQ(drawn[1].m * glm::vec4(0, 0, 0, 1), glm::vec4(20.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(drawn[1].m * glm::vec4(1, 0, 0, 0), glm::vec4(0.0f, 2.0f, 0.0f, 0.0f));
    EXPECT_EQ(drawn[1].m * glm::vec4(0, 1, 0, 0), glm::vec4(0.0f, 0.0f, 2.0f, 0.0f));
}

}  // namespace
