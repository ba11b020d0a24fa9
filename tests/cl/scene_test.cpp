// The scene skeleton: a small tree drawn through the display sequence into the shared HDR
// target, tone-mapped into the (hidden) window and read back.
#include <gtest/gtest.h>

#include <memory>

#include "cl/clcontext.h"
#include "cl/curvegenerator.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/sharedtargets.h"
#include "gl/texture.h"
#include "scenes/camera.h"
#include "scenes/scene.h"
#include "support/clfixture.h"
#include "support/glpixels.h"
#include "support/sceneprobe.h"
#include "support/scratchdir.h"

using namespace talvo;
using talvo::testsupport::readpixel;

namespace {

constexpr const char* treevert = R"(#version 330 core
layout(location = 0) in vec4 pos;
uniform mat4 mat;
void main() { gl_Position = mat * vec4(pos.xyz, 1.0); }
)";
// Each vertex becomes a quad of about 4 x 4 pixels in a 64 x 48 target.
constexpr const char* treegeom = R"(#version 330 core
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;
void main() {
    vec4 c = gl_in[0].gl_Position / gl_in[0].gl_Position.w;
    gl_Position = c + vec4(-0.06, -0.08, 0, 0); EmitVertex();
    gl_Position = c + vec4(0.06, -0.08, 0, 0); EmitVertex();
    gl_Position = c + vec4(-0.06, 0.08, 0, 0); EmitVertex();
    gl_Position = c + vec4(0.06, 0.08, 0, 0); EmitVertex();
    EndPrimitive();
}
)";
constexpr const char* treefrag = R"(#version 330 core
out vec4 result;
void main() { result = vec4(1.0); }
)";

// A scene as a scene file writes one: programs, tree and constants, nothing of the skeleton.
// A horizontal line, and half-way along it a vertical line hanging on it; the root's matrix
// halves everything and moves it right by half the view.
class twolines : public testsupport::sceneprobe<scene> {
public:
    explicit twolines(bool drop = false) : sceneprobe(0.0f, {}), points("tree.vert", "tree.geom", "tree.frag") {
        hdr = std::make_unique<FSShader>("hdr.frag", 1);
        droponleave = drop;
        auto draw = [this](glm::mat4 m, VArray& va, int n) { drawgeometry(points, m, va, n, GL_POINTS); };
        root = children.add(hubroot(10));
        ftree* across = root->addChild(std::make_unique<ftree>(CurveGenerator("x=f*2-1;xn=1;yt=1;", 200, ""), draw));
        auto up = std::make_unique<ftree>(CurveGenerator("y=f;xn=1;yt=1;", 200, ""), draw);
        up->attach = 0.5f;
        across->addChild(std::move(up));
        root->transform = camera::translation(glm::vec3(0.5f, 0.0f, 0.0f)) * camera::scaling(glm::vec3(0.5f));
        growthrate = 0.001f;
        growthfirst = true;
    }
    bool hasroot() const { return root != nullptr; }

    Program points;
};

class sceneskeleton : public testsupport::cltest {
protected:
    void SetUp() override {
        testsupport::cltest::SetUp();
        dir = std::make_unique<testsupport::scratchdir>();
        for (const char* name : {"null.vert", "fsquad.geom", "hdr.frag"}) dir->link(name);
        dir->write("tree.vert", treevert);
        dir->write("tree.geom", treegeom);
        dir->write("tree.frag", treefrag);
        sharedcolor = Texture(8, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
        starttime = 0;
        updatetime = 1000;  // growth 1: the vertical line has grown half its length
    }
    void TearDown() override {
        sharedcolor = Texture();
        dir.reset();
    }
    // One frame of a top-level scene: it ends with the pass drawn into the window.
    static void frame(scene& s) {
        s.update();
        ASSERT_TRUE(s.sync());
        s.display();
    }
    static bool lit(int x, int y) { return readpixel(0, x, y).r > 128; }

    std::unique_ptr<testsupport::scratchdir> dir;
};

TEST_F(sceneskeleton, DrawsTheTreeWhereItsMatricesPutIt) {
    ASSERT_EQ(windowwidth, 64);
    ASSERT_EQ(windowheight, 48);
    twolines s;
    s.resize(windowwidth, windowheight);
    s.enter(nullptr);
    frame(s);

    EXPECT_TRUE(lit(40, 24)) << "horizontal line, right half";
    EXPECT_TRUE(lit(60, 24));
    EXPECT_FALSE(lit(8, 24)) << "nothing left of the root's origin";
    EXPECT_FALSE(lit(24, 24));
    EXPECT_TRUE(lit(48, 28)) << "vertical line where it hangs";
    EXPECT_FALSE(lit(48, 36)) << "not grown this far yet";
    EXPECT_FALSE(lit(56, 40));
    EXPECT_FALSE(lit(16, 40));
    EXPECT_NO_THROW(glcheck("scene frame"));
}

TEST_F(sceneskeleton, ResizeRetakesTheSharedTargetsAndLeaveDropsThem) {
    twolines s;
    s.resize(windowwidth, windowheight);
    EXPECT_EQ(s.colourtarget()->buf, sharedcolor.buf);

    sharedcolor = Texture(8, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
    s.resize(windowwidth, windowheight);
    EXPECT_EQ(s.colourtarget()->buf, sharedcolor.buf);
    EXPECT_EQ(sharedcolor.usecount(), 2);
    s.enter(nullptr);
    frame(s);
    EXPECT_TRUE(lit(60, 24));

    const int users = sharedcolor.usecount();  // the target copy and the pass's input
    s.leave(nullptr);
    EXPECT_EQ(sharedcolor.usecount(), users - 1);
    EXPECT_TRUE(s.hasroot()) << "only scenes that drop their children on leave lose them";
}

TEST_F(sceneskeleton, ASceneLeftForGoodFreesItsGeometry) {
    twolines s(true);
    s.resize(windowwidth, windowheight);
    s.enter(nullptr);
    frame(s);
    const size_t shared = CLContext::instance()->glbuffercount();
    s.leave(nullptr);
    EXPECT_FALSE(s.hasroot());
    EXPECT_EQ(CLContext::instance()->glbuffercount(), shared - 3) << "the hub's and both lines' buffers";
}

}  // namespace
