// Kernel templates, source caches and the two generator kinds on PoCL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "cl/buffer.h"
#include "cl/clcontext.h"
#include "cl/curvegenerator.h"
#include "cl/kerneltemplates.h"
#include "cl/pointgenerator.h"
#include "cl/snippet.h"
#include "diag/check.h"
#include "engine/globals.h"
#include "gl/reload.h"
#include "gl/resource.h"
#include "support/clfixture.h"
#include "support/scratchdir.h"

using namespace talvo;
using namespace testsupport;

namespace {

class generators : public cltest {
protected:
    void SetUp() override {
        cltest::SetUp();
        starttime = 1000;
        updatetime = 1000;
    }
    // One step of a generator that hangs in no tree.
    static void step(CurveGenerator& curve) {
        curve.setUpdatePending();
        CLContext::instance()->acquireGL();
        curve.update();
        CLContext::instance()->releaseGL();
    }
};

std::vector<float> repeated(std::vector<float> four, int times) {
    std::vector<float> all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), four.begin(), four.end());
    return all;
}

TEST(templates, AreTheFixedTextsAroundTheExpression) {
    EXPECT_EQ(pointsource("EXPR"),
              "__kernel void update(__global float4* pos, float count, float maxcount, float acctime, float poff)"
              "{int i = get_global_id(0)+poff*maxcount;float f = (float)i/maxcount;float x=0;float y=0;float z=0; "
              "float w=0;"
              "EXPR"
              "pos[get_global_id(0)] = (float4)(x,y,z, w);}__kernel void zero(__global float4* pos){\tpos[get_"
              "global_id(0)] = (float4)(0.0,0.0,0.0,0.0); }");
    EXPECT_EQ(curvesource("EXPR", "PREFIX"),
              "PREFIX"
              "__kernel void update(__global float4* pos, float count, float maxcount, float acctime, __global "
              "float4* tang, __global float4* posb, __global float4* norm)"
              "{int i = get_global_id(0);float f = (float)i/maxcount;float x=0, y=0, z=0, w=0, xt=0, yt=0, "
              "zt=0,xn=0,yn=0,zn=0;"
              "EXPR"
              ";pos[get_global_id(0)] = (float4)(x,y,z, w);posb[get_global_id(0)] = (float4)(x,y,z, w);norm[get_"
              "global_id(0)] = (float4)(xn,yn,zn, 0); tang[get_global_id(0)] = (float4)(xt,yt,zt,0);}__kernel void "
              "zero(__global float4* pos){\tpos[get_global_id(0)] = (float4)(0.0,0.0,0.0,0.0); }");
}

TEST_F(generators, TheHubPutsEveryVertexAtTheOriginWithUnitNormalAndTangent) {
    CurveGenerator hub("xn=1;yt=1;", 10, "");
    step(hub);
    hub.readBack();
    EXPECT_EQ(hub.positions(), std::vector<float>(40, 0.0f));
    EXPECT_EQ(hub.normals(), repeated({1, 0, 0, 0}, 10));
    EXPECT_EQ(hub.tangents(), repeated({0, 1, 0, 0}, 10));
    EXPECT_EQ(glfloats(hub.compute().buf(), 40), std::vector<float>(40, 0.0f));

    hub.publish();
    EXPECT_EQ(hub.display().size(), 40);
}

TEST_F(generators, ACurveOfOneVertexRunsOneItemWithFZero) {
    updatetime = starttime + 2500;
    CurveGenerator one("x=f;y=i;z=count;w=maxcount+acctime", 1, "");
    step(one);
    one.readBack();
    EXPECT_EQ(one.positions(), (std::vector<float>{0.0f, 0.0f, 1.0f, 3.5f}));
    EXPECT_EQ(glfloats(one.compute().buf(), 4), one.positions());
}

TEST_F(generators, IdenticalSourcesShareOneProgram) {
    CurveGenerator first("x=f*3;", 4, "");
    const int live = liveprograms;
    CurveGenerator same("x=f*3;", 8, "");
    EXPECT_EQ(liveprograms, live);
    EXPECT_EQ(curveprogram(curvesource("x=f*3;", "")).name(), curveprogram(curvesource("x=f*3;", "")).name());

    CurveGenerator prefixed("x=f*3;", 4, "float unused(float t){return t;}");
    EXPECT_EQ(liveprograms, live + 1);
    // The same expression as a point cloud is a different source too.
    PointGenerator points("x=f*3;", 4);
    EXPECT_EQ(liveprograms, live + 2);

    // Sharing the program does not share the results.
    step(first);
    step(same);
    first.readBack();
    same.readBack();
    EXPECT_FLOAT_EQ(first.positions()[4], 0.75f);
    EXPECT_FLOAT_EQ(same.positions()[4], 0.375f);
}

TEST_F(generators, ReadBackReadsOncePerRun) {
    CurveGenerator curve("x=i+acctime;", 3, "");
    updatetime = starttime + 1000;
    step(curve);
    EXPECT_TRUE(curve.readPending());
    curve.readBack();
    EXPECT_FALSE(curve.readPending());
    EXPECT_EQ(curve.positions()[8], 3.0f);

    // Whatever the device holds now, a second readBack without a run reads nothing.
    const std::vector<float> junk(12, -5.0f);
    CLCHECKED(clEnqueueWriteBuffer(CLContext::instance()->queue(),
                                   hostMem(const_cast<float*>(curve.positions().data()), 12), CL_TRUE, 0,
                                   12 * sizeof(float), junk.data(), 0, nullptr, nullptr));
    curve.readBack();
    EXPECT_EQ(curve.positions()[8], 3.0f);

    updatetime = starttime + 2000;
    step(curve);
    curve.readBack();
    EXPECT_EQ(curve.positions()[8], 4.0f);
}

TEST_F(generators, PointsRunAtLeastOneItemAndPublishTheirCount) {
    PointGenerator points("x=i+1;y=f;z=maxcount;w=1;", 8);
    points.setCount(0);
    points.update();
    std::vector<float> expected(32, 0.0f);
    expected[0] = 1.0f;
    expected[2] = 8.0f;
    expected[3] = 1.0f;
    EXPECT_EQ(glfloats(points.compute().buf(), 32), expected);

    points.setCount(8);
    points.update();
    points.publish();
    EXPECT_EQ(points.drawcount(), 8);
    ASSERT_EQ(points.display().size(), 32);
    const std::vector<float> shown = glfloats(points.display().buf(), 32);
    EXPECT_EQ(std::vector<float>(shown.begin() + 28, shown.end()), (std::vector<float>{8.0f, 0.875f, 8.0f, 1.0f}));
}

TEST_F(generators, CopyFromSizesTheDestinationAndRefusesIncompatibleBuffers) {
    Buffer<float> source, destination;
    source.upload(std::vector<float>(40, 2.0f));
    destination.copyFrom(source);
    EXPECT_EQ(destination.size(), 40);
    EXPECT_EQ(glfloats(destination.buf(), 40), std::vector<float>(40, 2.0f));

    Buffer<float> other;
    other.upload({9.0f});
    other.target = GL_ELEMENT_ARRAY_BUFFER;
    testing::internal::CaptureStderr();
    destination.copyFrom(other);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Buffer copy attempted on incompatible buffer types!\n");
    EXPECT_EQ(destination.size(), 40);
    EXPECT_EQ(glfloats(destination.buf(), 40), std::vector<float>(40, 2.0f));
}

// Dreamscape's clouds store their positions themselves and return before the template's
// stores (so that PoCL vectorises them): what they store must be what the template would.
TEST_F(generators, DreamscapeCloudsStoreThePositionsTheTemplateWould) {
    updatetime = starttime + 23400;
    for (const auto& [file, count] : {std::pair{"dreamscape.slcl", 3000000}, std::pair{"dreamscapesky.slcl", 500000}}) {
        SCOPED_TRACE(file);
        const std::string snippet = loadResource(file);
        const size_t ownstores = snippet.rfind("\n{__global float* p");
        ASSERT_NE(ownstores, std::string::npos);
        CurveGenerator own(snippet, count, ""), templated(snippet.substr(0, ownstores + 1), count, "");
        step(own);
        step(templated);
        templated.readBack();
        const std::vector<float> stored = glfloats(own.compute().buf(), count * 4);
        const std::vector<float>& expected = templated.positions();
        int differing = 0;
        for (size_t k = 0; k < stored.size(); ++k)
            // Vector and scalar code may round differently; a misplaced component is far off.
            differing += std::abs(stored[k] - expected[k]) > 1e-3f * std::max(1.0f, std::abs(expected[k]));
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(glfloats(templated.compute().buf(), count * 4), expected);
    }
}

// A saved snippet builds anew the kernel of every live generator whose expression or prefix it
// is, and of no other; a curve's buffers stay and its next step runs the new kernel.
TEST_F(generators, ASavedSnippetRebuildsTheGeneratorsBuiltFromIt) {
    const scratchdir dir;
    dir.write("shift.slcl", "x=1;");
    CurveGenerator curve(loadsnippet("shift.slcl"), 4, "");
    const CurveGenerator written("x=1;", 4, "");
    PointGenerator cloud(loadsnippet("shift.slcl"), 4);
    step(curve);
    EXPECT_EQ(rebuildfrom("shift.slcl", "x=2;").objects, 2);
    step(curve);
    curve.readBack();
    EXPECT_EQ(curve.positions(), repeated({2, 0, 0, 0}, 4));
    cloud = PointGenerator();
    EXPECT_EQ(rebuildfrom("shift.slcl", "x=3;").objects, 1);
}

}  // namespace
