#version 330 core
// A curve's triangle strip drawn as a ribbon whose two borders glow as lines. The strip's even
// vertices run along one border (A), its odd ones along the other (B): A_0, B_0, A_1, B_1, ...
// Each step j is a quad of two triangles, (A_j, B_j, A_j+1) with its border edge on A and
// (A_j+1, B_j, B_j+1) with its border edge on B, as GL hands a strip's triangles over. Each
// triangle carries the distance in pixels from its border edge, from which the fragment shader
// draws the borders as lines of constant width on screen with a faint fill between.
//
// The strip is drawn as one point per step, the point's index being the step's, and its
// vertices are read from "strip", of which the first "count" are drawn: a step can see any
// other. Where the steps are far below a pixel, as along a long ribbon seen from afar, a run of
// steps j to j+n is drawn by its first step as the two triangles (A_j, B_j, A_j+n) and
// (A_j+n, B_j, B_j+n) that tile its quad, and its other steps draw nothing: a fraction of the
// primitives, which a software rasteriser pays for one by one. At each share of the way across
// the band the first triangle covers as much of the run as the steps' A triangles would and
// the second the rest, so a short run lights each pixel with each border's line in the shares
// its steps would, to within the grain of the samples (run says how short). Runs are aligned
// blocks of 2^level steps, each the largest block holding its steps that can be one: every
// step of a block decides from the same vertices, so they agree, and the runs tile the strip.
layout(points) in;
layout(triangle_strip, max_vertices = 6) out;

uniform mat4 mat;
uniform vec2 screenSize;
uniform samplerBuffer strip;
uniform int count;

noperspective out float edge;
out float depth;

// The longest a run may be on screen along either border of a narrow band, in pixels (see run).
const float longestrun = 1.0;
// At most 2^6 steps to a run.
const int toplevel = 6;

vec4 vertex(int k) {
    return mat * vec4(texelFetch(strip, k).xyz, 1.0);
}

vec2 pixels(vec4 c) {
    return c.xy / c.w * screenSize * 0.5;
}

// The distance in pixels of p from the line through a and b; where they coincide, 0.
float height(vec2 p, vec2 a, vec2 b) {
    vec2 border = b - a, out1 = p - a;
    float len = length(border);
    return len > 1e-4 ? abs(border.x * out1.y - border.y * out1.x) / len : 0.0;
}

// Whether the quad from A and B vertices a0, b0 to a1, b1, its borders passing through am and
// bm between, can be drawn as one run:
// - in front of the eye, and convex: where the ribbon turns edge-on its borders cross;
// - so straight that am and bm lie within 1/256 of a pixel, the rasteriser's own precision,
//   of the run's edges: its triangles then cover the samples its steps would;
// - so short that wherever a border's line shines (within two pixels of it) the run's two
//   triangles split each pixel between the borders as the steps would, to within a quarter of
//   the pixel, one of llvmpipe's four sample positions. At a share u of the way across a band
//   W pixels wide a run L pixels long misplaces up to L u (1 - u) of a pixel, and u is at most
//   2 / W where a line shines: L may be a pixel, or W / 8 where that is longer.
bool run(vec4 a0, vec4 b0, vec4 a1, vec4 b1, vec4 am, vec4 bm) {
    if (min(min(min(a0.w, a1.w), min(b0.w, b1.w)), min(am.w, bm.w)) <= 0.0) return false;
    vec2 pa0 = pixels(a0), pa1 = pixels(a1), pb0 = pixels(b0), pb1 = pixels(b1);
    float len = max(distance(pa1, pa0), distance(pb1, pb0));
    // The band is no wider than its ends are long: most steps that are too long end here.
    if (len >= longestrun * max(1.0, min(distance(pb0, pa0), distance(pb1, pa1)) / 8.0)) return false;
    vec2 e0 = pa1 - pa0, e1 = pb1 - pa1, e2 = pb0 - pb1, e3 = pa0 - pb0;
    vec4 turns = vec4(e0.x * e1.y - e0.y * e1.x, e1.x * e2.y - e1.y * e2.x, e2.x * e3.y - e2.y * e3.x, e3.x * e0.y - e3.y * e0.x);
    if (!(all(greaterThan(turns, vec4(0.0))) || all(lessThan(turns, vec4(0.0))))) return false;
    vec2 pbm = pixels(bm);
    if (max(height(pixels(am), pa0, pa1), height(pbm, pb0, pb1)) >= 1.0 / 256.0) return false;
    float wide = min(min(height(pb0, pa0, pa1), height(pb1, pa0, pa1)), height(pbm, pa0, pa1));
    return len < longestrun * max(1.0, wide / 8.0);
}

// Whether steps j to j+n (n even), whose halfway vertices are am and bm, are whole steps of the
// drawn strip that can be one run.
bool fits(int j, int n, vec4 am, vec4 bm) {
    int e = 2 * (j + n);
    return e + 1 < count && run(vertex(2 * j), vertex(2 * j + 1), vertex(e), vertex(e + 1), am, bm);
}

// Triangle (c0, c1, c2) with its border edge from c[first] to c2 and c[1 - first] opposite.
void triangle(vec4 c0, vec4 c1, vec4 c2, int first) {
    vec4 c[3] = vec4[3](c0, c1, c2);
    // A triangle reaching behind the eye has no sensible screen shape; the near plane clips the rest.
    if (c0.w <= 0.0 || c1.w <= 0.0 || c2.w <= 0.0) return;
    // Wholly beyond one side of the view: nothing to light.
    vec3 xs = vec3(c0.x, c1.x, c2.x), ys = vec3(c0.y, c1.y, c2.y), ws = vec3(c0.w, c1.w, c2.w);
    if (all(greaterThan(xs, ws)) || all(lessThan(xs, -ws)) || all(greaterThan(ys, ws)) || all(lessThan(ys, -ws))) return;

    int across = 1 - first;
    // The height of the opposite vertex over the border.
    float h = height(pixels(c[across]), pixels(c[first]), pixels(c2));
    for (int k = 0; k < 3; ++k) {
        edge = k == across ? h : 0.0;
        depth = c[k].w;
        gl_Position = c[k];
        EmitVertex();
    }
    EndPrimitive();
}

void main() {
    int j = gl_PrimitiveIDIn;
    vec4 a0 = vertex(2 * j), b0 = vertex(2 * j + 1), a1 = vertex(2 * j + 2);
    // The strip may end in an A triangle.
    bool whole = 2 * j + 3 < count;
    vec4 b1 = whole ? vertex(2 * j + 3) : a1;
    int level = 0;
    // A block holding another is at least as long, no straighter, no wider and twisted where
    // its parts are, so when a block cannot be a run, no larger one can: a step that cannot be
    // one on its own draws itself alone.
    if (whole && run(a0, b0, a1, b1, a0, b0)) {
        // Step j can start blocks of up to 2^aligned steps; it is the middle of the block twice
        // as long, and draws nothing when that block is a run. Otherwise its run is the
        // largest block it starts that can be one.
        int aligned = 0;
        while (aligned < toplevel && ((j >> aligned) & 1) == 0) ++aligned;
        if (aligned < toplevel && fits(j - (1 << aligned), 2 << aligned, a0, b0)) return;
        level = aligned;
        while (level > 0 && !fits(j, 1 << level, vertex(2 * j + (1 << level)), vertex(2 * j + (1 << level) + 1))) --level;
        if (level > 0) {
            a1 = vertex(2 * (j + (1 << level)));
            b1 = vertex(2 * (j + (1 << level)) + 1);
        }
    }
    triangle(a0, b0, a1, 0);
    if (whole) triangle(a1, b0, b1, 1);
}
