#pragma once
// A geometry tree node drawn by a scene's callback: its accumulated matrix, its generator's
// vertex array and the number of vertices to draw.
#include "cl/cltreebase.h"
#include <utility>

#include "gl/varray.h"

namespace talvo {

class ftree : public cltreebase {
public:
    ftree(const CurveGenerator& generator, drawcallback fn) : cltreebase(generator), drawfn(std::move(fn)) {}

    // An empty callback throws std::bad_function_call.
    void drawNode(glm::mat4 m) override { drawfn(m, geometry.varray(), shown().drawcount); }

    drawcallback drawfn;
};

}  // namespace talvo
