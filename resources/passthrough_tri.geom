#version 330 core
// A curve's triangle strip drawn as a ribbon: the triangles pass through transformed by "mat",
// and each carries the distance in pixels from the edge it shares with one of the ribbon's two
// borders. In a strip whose even vertices run along one border and odd vertices along the
// other, triangle k joins vertices k, k+1 and k+2, and its border edge is the one from k to
// k+2: the vertex across from it is the one whose index differs from the others' in parity.
// It is found by the indices, not by its place in the triangle, since GL implementations hand a
// strip's odd triangles over in different orders (GL's own, and Vulkan's under zink). The
// fragment shader draws the borders as lines of constant width on screen with a faint fill
// between.
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;

uniform mat4 mat;
uniform vec2 screenSize;

flat in int index[];

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
    // Wholly beyond one side of the view: nothing to light, and a software rasteriser would
    // still pay for clipping it.
    vec3 xs = vec3(c[0].x, c[1].x, c[2].x), ys = vec3(c[0].y, c[1].y, c[2].y), ws = vec3(c[0].w, c[1].w, c[2].w);
    if (all(greaterThan(xs, ws)) || all(lessThan(xs, -ws)) || all(greaterThan(ys, ws)) || all(lessThan(ys, -ws))) return;

    int across = (index[0] & 1) == (index[1] & 1) ? 2 : (index[0] & 1) == (index[2] & 1) ? 1 : 0;
    vec2 a = pixels(c[(across + 1) % 3]);
    vec2 border = pixels(c[(across + 2) % 3]) - a;
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
