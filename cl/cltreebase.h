#pragma once
// A node of a geometry tree: one curve generator, hung on its parent's curve. At `attach` (a
// fraction along the parent's vertices) the node is placed at the parent's vertex, turned by
// the parent's normal and tangent there, and then transformed by its own matrix. A growth
// fraction set on the root grows the tree along its curves: each node draws the vertices the
// growth has reached beyond the point where it hangs.
//
// The tree is a state: update runs every generator once, parents first, inside one
// acquire/release bracket; sync publishes; display draws every node through drawNode with its
// accumulated matrix. Every value that update computes has a display-side twin written only in
// sync, so display never reads what the update thread is writing.
#include <glm/glm.hpp>
#include <memory>
#include <vector>

#include "cl/curvegenerator.h"
#include "engine/state.h"

namespace talvo {

class cltreebase : public state {
public:
    // The node keeps its own copy of the generator handle.
    explicit cltreebase(const CurveGenerator& generator);
    cltreebase(const cltreebase&) = delete;
    cltreebase& operator=(const cltreebase&) = delete;

    void display() override;
    void update() override;
    // Publishes the subtree; always true.
    bool sync() override;

    // The tree owns the node from now on; returns it for wiring. Set the node's attach first.
    template <typename T>
    T* addChild(std::unique_ptr<T> child) {
        T* raw = child.get();
        children.push_back(std::move(child));
        return raw;
    }
    // Sets, for this node and every node below, the vertices the growth has reached:
    // (int)(count * t). Not clamped: values above 1 keep children growing.
    void setGrowth(float t);

    // Update thread: computes this node and its subtree hanging on parent, whose attachment
    // accumulated from the root is offset. The root (no parent) brackets the whole tree.
    void updateTree(cltreebase* parent, float offset);
    // Render thread: draws this node and its subtree under m.
    void drawTree(glm::mat4 m);
    virtual void drawNode(glm::mat4 m) = 0;

    CurveGenerator geometry;

    // Update side. Set by the scene: attach (before addChild), transform (usually through an
    // animated channel), growth (through setGrowth).
    float attach = 0.0f;
    glm::mat4 transform{1.0f};
    int growth = 0;
    // Owned: the node's destruction takes its subtree with it.
    std::vector<std::unique_ptr<cltreebase>> children;
    // Computed by updateTree: the parent's vertex, unit normal and unit tangent at the
    // attachment point ((0,0,0), (1,0,0), (0,1,0) for a root), and the vertices to draw.
    glm::vec3 position{0.0f};
    glm::vec3 normal{0.0f};
    glm::vec3 tangent{0.0f};
    int drawcount = 0;

    // Display side, as of the last sync.
    struct published {
        glm::vec3 position{0.0f};
        glm::vec3 normal{0.0f};
        glm::vec3 tangent{0.0f};
        float attach = 0.0f;
        int drawcount = 0;
        glm::mat4 transform{1.0f};
        std::vector<cltreebase*> children;
    };
    const published& shown() const { return shown_; }

private:
    void setpending();

    published shown_;
};

}  // namespace talvo
