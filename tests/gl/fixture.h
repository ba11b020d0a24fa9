#pragma once
// The GL test fixture: a real context and a scratch resources/ folder holding the pass shaders
// (the real null.vert, fsquad.geom and hdr.frag) and small shaders made for the tests.
#include <memory>

#include "gl/framebuffer.h"
#include "support/glcontext.h"
#include "support/scratchdir.h"

namespace gltests {

// A constant colour.
constexpr const char* solidfrag = R"(#version 330 core
uniform vec4 colour;
out vec4 result;
void main() { result = colour; }
)";

// The sum of texel (0, 0) of two inputs.
constexpr const char* inputsfrag = R"(#version 330 core
uniform sampler2D a;
uniform sampler2D b;
out vec4 result;
void main() { result = texelFetch(a, ivec2(0), 0) + texelFetch(b, ivec2(0), 0); }
)";

// Points fed by attribute "pos", drawn white.
constexpr const char* pointsvert = R"(#version 330 core
in vec4 pos;
void main() { gl_Position = pos; }
)";
constexpr const char* pointsgeom = R"(#version 330 core
layout(points) in;
layout(points, max_vertices = 1) out;
void main() { gl_Position = gl_in[0].gl_Position; EmitVertex(); EndPrimitive(); }
)";
constexpr const char* whitefrag = R"(#version 330 core
out vec4 result;
void main() { result = vec4(1.0); }
)";

class gltest : public talvo::testsupport::gltest {
protected:
    void SetUp() override {
        talvo::testsupport::gltest::SetUp();
        dir = std::make_unique<talvo::testsupport::scratchdir>();
        for (const char* name : {"null.vert", "fsquad.geom", "hdr.frag"}) dir->link(name);
        dir->write("solid.frag", solidfrag);
        dir->write("inputs.frag", inputsfrag);
        dir->write("points.vert", pointsvert);
        dir->write("points.geom", pointsgeom);
        dir->write("white.frag", whitefrag);
    }
    void TearDown() override {
        // Every test closes its brackets; unwind whatever a failed one left open.
        EXPECT_EQ(talvo::Framebuffer::current(), nullptr);
        while (talvo::Framebuffer::current()) talvo::Framebuffer::current()->unbind();
        dir.reset();
    }

    std::unique_ptr<talvo::testsupport::scratchdir> dir;
};

}  // namespace gltests
