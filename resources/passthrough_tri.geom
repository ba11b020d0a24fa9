#version 330 core
// A curve's triangle strip drawn as a ribbon: the triangles pass through transformed by "mat",
// and each carries the distance in pixels from the edge it shares with one of the ribbon's two
// borders. In a strip whose even vertices run along one border and odd vertices along the
// other, triangle k joins vertices k, k+1 and k+2, and its border edge is the one from k to
// k+2. Under the default (last) provoking vertex, GL hands an even triangle over as
// (k, k+1, k+2) and an odd one as (k+1, k, k+2), to keep the winding, so the border edge ends
// in the third vertex and starts in the first or the second. The fragment shader draws the borders as lines of constant width on screen with
// a faint fill between.
//
// Where the border's steps are far below a pixel, as along a long ribbon seen from afar, the
// triangle at the start of a run of its kind (even or odd) stretches its border edge over the
// whole run, keeping its opposite vertex, and the run's other triangles of that kind draw
// nothing. The stretched triangle narrows across the band just as the run's slivers together
// do, so it lights the same pixels as much, from a fraction of the primitives, which a
// software rasteriser pays for one by one.
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;

uniform mat4 mat;
uniform vec2 screenSize;

noperspective out float edge;
out float depth;

vec2 pixels(vec4 c) {
    return c.xy / c.w * screenSize * 0.5;
}

void main() {
    vec4 c[3];
    for (int k = 0; k < 3; ++k) c[k] = mat * vec4(gl_in[k].gl_Position.xyz, 1.0);
    // A triangle reaching behind the eye has no sensible screen shape; the near plane clips the rest.
    if (c[0].w <= 0.0 || c[1].w <= 0.0 || c[2].w <= 0.0) return;

    int first = (gl_PrimitiveIDIn & 1) == 0 ? 0 : 1;
    int across = 1 - first;
    vec2 a = pixels(c[first]);
    vec2 b = pixels(c[2]);
    // Steps per run: a power of two, so that the runs of neighbouring triangles line up, with a
    // run at most two pixels long.
    float step = length(b - a);
    int run = step > 2.0 ? 1 : int(exp2(min(floor(log2(2.0 / max(step, 1e-3))), 6.0)));
    if (((gl_PrimitiveIDIn >> 1) & (run - 1)) != 0) return;
    if (run > 1) {
        c[2] = c[first] + (c[2] - c[first]) * float(run);
        if (c[2].w <= 0.0) return;
        b = pixels(c[2]);
    }
    // Wholly beyond one side of the view: nothing to light.
    vec3 xs = vec3(c[0].x, c[1].x, c[2].x), ys = vec3(c[0].y, c[1].y, c[2].y), ws = vec3(c[0].w, c[1].w, c[2].w);
    if (all(greaterThan(xs, ws)) || all(lessThan(xs, -ws)) || all(greaterThan(ys, ws)) || all(lessThan(ys, -ws))) return;

    vec2 o = pixels(c[across]);
    vec2 border = b - a;
    vec2 out1 = o - a;
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
