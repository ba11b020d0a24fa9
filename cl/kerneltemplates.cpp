#include "cl/kerneltemplates.h"

#include <unordered_map>

#include "engine/globals.h"

namespace talvo {

const char* const generatedoptions = "-cl-fast-relaxed-math -cl-mad-enable";

std::string pointsource(const std::string& expression) {
    return "__kernel void update(__global float4* pos, float count, float maxcount, float acctime, float poff)"
           "{int i = get_global_id(0)+poff*maxcount;float f = (float)i/maxcount;float x=0;float y=0;float z=0; float w=0;" +
           expression +
           "pos[get_global_id(0)] = (float4)(x,y,z, w);}__kernel void zero(__global float4* pos)"
           "{\tpos[get_global_id(0)] = (float4)(0.0,0.0,0.0,0.0); }";
}

std::string curvesource(const std::string& expression, const std::string& prefix) {
    return prefix +
           "__kernel void update(__global float4* pos, float count, float maxcount, float acctime, "
           "__global float4* tang, __global float4* posb, __global float4* norm)"
           "{int i = get_global_id(0);float f = (float)i/maxcount;"
           "float x=0, y=0, z=0, w=0, xt=0, yt=0, zt=0,xn=0,yn=0,zn=0;" +
           expression +
           ";pos[get_global_id(0)] = (float4)(x,y,z, w);posb[get_global_id(0)] = (float4)(x,y,z, w);"
           "norm[get_global_id(0)] = (float4)(xn,yn,zn, 0); tang[get_global_id(0)] = (float4)(xt,yt,zt,0);}"
           "__kernel void zero(__global float4* pos){\tpos[get_global_id(0)] = (float4)(0.0,0.0,0.0,0.0); }";
}

namespace {
using programcache = std::unordered_map<std::string, CLProgram>;

// The caches are never destroyed among the static objects at the process's end, which may come
// after the GL contexts are gone: dropprogramcaches empties them before that.
programcache& pointcache() {
    static programcache& cache = *new programcache();
    return cache;
}

programcache& curvecache() {
    static programcache& cache = *new programcache();
    return cache;
}

CLProgram cached(programcache& cache, const std::string& source) {
    auto found = cache.find(source);
    if (found != cache.end()) return found->second;
    CLProgram program(source, generatedoptions);
    cache.emplace(source, program);
    return program;
}
}  // namespace

CLProgram pointprogram(const std::string& source) {
    return cached(pointcache(), source);
}

CLProgram curveprogram(const std::string& source) {
    return cached(curvecache(), source);
}

void dropprogramcaches() {
    pointcache().clear();
    curvecache().clear();
}

float acctime() {
    return float(productiontime()) * 0.001f;
}

}  // namespace talvo
