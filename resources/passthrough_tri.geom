#version 330 core
// A curve's triangle strip drawn as a ribbon whose two borders glow as lines. The strip's even
// vertices run along one border (A), its odd ones along the other (B): A_0, B_0, A_1, B_1, ...
// Its triangles are (A_j, B_j, A_j+1), with its border edge on A, and (A_j+1, B_j, B_j+1), with
// its border edge on B, for each step j. Each carries the distance in pixels from its border
// edge, from which the fragment shader draws the borders as lines of constant width on screen
// with a faint fill between.
//
// Drawn as one point per step, the point's index being the step's: every vertex is read from
// "strip", of which "count" vertices are drawn, so that a step knows any other. Where the
// borders' steps are far below a pixel, as along a long ribbon seen from afar, the steps j to
// j+n of a run are drawn as the two triangles that tile its quad, (A_j, B_j, A_j+n) and
// (A_j+n, B_j, B_j+n), by the run's first step; its other steps draw nothing. At each share of
// the way across the band the first triangle then covers as much of the run as the steps' A
// triangles would and the second the rest, so that each pixel holds as much of each border's
// line as without runs, from a fraction of the primitives, which a software rasteriser pays
// for one by one. Runs are aligned blocks of 2^level steps, the largest holding the step that
// is shorter than a pixel on screen along both borders: every step of a block measures it
// from the same vertices, so they agree on it.
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

// Whether the steps from A and B vertices a0, b0 to a1, b1 are in front of the eye and
// shorter than longestrun on screen along both borders.
bool shorter(vec4 a0, vec4 b0, vec4 a1, vec4 b1) {
    if (min(min(a0.w, a1.w), min(b0.w, b1.w)) <= 0.0) return false;
    return max(distance(pixels(a1), pixels(a0)), distance(pixels(b1), pixels(b0))) < longestrun;
}

// Whether steps j to j+n are whole steps of the drawn strip and shorter than longestrun.
bool fits(int j, int n) {
    int e = 2 * (j + n);
    return e + 1 < count && shorter(vertex(2 * j), vertex(2 * j + 1), vertex(e), vertex(e + 1));
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
    vec2 a = pixels(c[first]);
    vec2 border = pixels(c2) - a;
    vec2 out1 = pixels(c[across]) - a;
    float len = length(border);
    // The height of the opposite vertex over the border; where the ribbon has no width, 0.
    float height = len > 1e-4 ? abs(border.x * out1.y - border.y * out1.x) / len : 0.0;
    for (int k = 0; k < 3; ++k) {
        edge = k == across ? height : 0.0;
        depth = c[k].w;
        gl_Position = c[k];
        EmitVertex();
    }
    EndPrimitive();
}

void main() {
    int j = gl_PrimitiveIDIn;
    // The largest block this step can start is 2^aligned steps long; any other step starts the
    // second half of a block twice as long, and draws nothing if that block fits. A block
    // holding another is at least as long, so when it does not fit, no larger one does.
    int aligned = 0;
    while (aligned < toplevel && ((j >> aligned) & 1) == 0) ++aligned;
    if (aligned < toplevel && fits(j - (1 << aligned), 2 << aligned)) return;

    vec4 a0 = vertex(2 * j), b0 = vertex(2 * j + 1), a1 = vertex(2 * j + 2);
    // The strip may end in an A triangle.
    bool whole = 2 * j + 3 < count;
    vec4 b1 = whole ? vertex(2 * j + 3) : a1;
    int level = 0;
    if (whole && shorter(a0, b0, a1, b1)) {
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
