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
// the second the rest, so a run under a pixel long lights each pixel with each border's line
// in the shares its steps would, to within the grain of the samples. Runs are aligned blocks
// of 2^level steps, each the largest block holding its steps that fits: every step of a block
// decides from the same vertices, so they agree, and the runs tile the strip.
layout(points) in;
layout(triangle_strip, max_vertices = 6) out;

uniform mat4 mat;
uniform vec2 screenSize;
uniform samplerBuffer strip;
uniform int count;

noperspective out float edge;
out float depth;

// The longest a run may be on screen, in pixels, along either border: a longer one lights a
// pixel by where its two triangles meet rather than by its share of the band.
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

// Whether the quad from A and B vertices a0, b0 to a1, b1 is in front of the eye, convex (the
// borders do not cross where the ribbon turns edge-on) and shorter than longestrun on screen
// along both borders.
bool smallquad(vec4 a0, vec4 b0, vec4 a1, vec4 b1) {
    if (min(min(a0.w, a1.w), min(b0.w, b1.w)) <= 0.0) return false;
    vec2 pa0 = pixels(a0), pa1 = pixels(a1), pb0 = pixels(b0), pb1 = pixels(b1);
    vec2 e0 = pa1 - pa0, e1 = pb1 - pa1, e2 = pb0 - pb1, e3 = pa0 - pb0;
    vec4 turns = vec4(e0.x * e1.y - e0.y * e1.x, e1.x * e2.y - e1.y * e2.x, e2.x * e3.y - e2.y * e3.x, e3.x * e0.y - e3.y * e0.x);
    if (!(all(greaterThan(turns, vec4(0.0))) || all(lessThan(turns, vec4(0.0))))) return false;
    return max(distance(pa1, pa0), distance(pb1, pb0)) < longestrun;
}

// Whether steps j to j+n (n even) are a run: whole steps of the drawn strip, a small quad, and
// borders so straight that their halfway vertices lie within 1/256 of a pixel, the
// rasteriser's own precision, of the run's edges, so that the run covers the samples its steps
// would.
bool fits(int j, int n) {
    int e = 2 * (j + n), m = 2 * j + n;
    if (e + 1 >= count) return false;
    vec4 a0 = vertex(2 * j), b0 = vertex(2 * j + 1), a1 = vertex(e), b1 = vertex(e + 1);
    if (!smallquad(a0, b0, a1, b1)) return false;
    return max(height(pixels(vertex(m)), pixels(a0), pixels(a1)), height(pixels(vertex(m + 1)), pixels(b0), pixels(b1))) < 1.0 / 256.0;
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
    // Step j can start blocks of up to 2^aligned steps; it lies in the second half of the block
    // twice as long and draws nothing when that block is a run. A block holding another is at
    // least as long, no straighter, and twisted where its parts are, so when a block is no
    // run, no larger one is: a run's first step finds it looking down from its largest block,
    // and a step whose own quad is not small draws itself alone.
    int aligned = 0;
    while (aligned < toplevel && ((j >> aligned) & 1) == 0) ++aligned;
    if (aligned < toplevel && fits(j - (1 << aligned), 2 << aligned)) return;

    vec4 a0 = vertex(2 * j), b0 = vertex(2 * j + 1), a1 = vertex(2 * j + 2);
    // The strip may end in an A triangle.
    bool whole = 2 * j + 3 < count;
    vec4 b1 = whole ? vertex(2 * j + 3) : a1;
    int level = 0;
    if (whole && smallquad(a0, b0, a1, b1)) {
        level = aligned;
        while (level > 0 && !fits(j, 1 << level)) --level;
        if (level > 0) {
            a1 = vertex(2 * (j + (1 << level)));
            b1 = vertex(2 * (j + (1 << level)) + 1);
        }
    }
    triangle(a0, b0, a1, 0);
    if (whole) triangle(a1, b0, b1, 1);
}
