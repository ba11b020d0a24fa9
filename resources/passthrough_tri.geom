#version 330 core
// A curve's triangle strip drawn as a ribbon: the triangles pass through transformed by "mat",
// and each carries the distance in pixels from its long edge (the one joining the first and
// third vertex, which in a strip runs along one of the ribbon's two borders). The fragment
// shader draws the borders as lines of constant width on screen with a faint fill between.
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;

uniform mat4 mat;
uniform vec2 screenSize;

noperspective out float edge;
out float depth;

void main() {
    vec4 c0 = mat * vec4(gl_in[0].gl_Position.xyz, 1.0);
    vec4 c1 = mat * vec4(gl_in[1].gl_Position.xyz, 1.0);
    vec4 c2 = mat * vec4(gl_in[2].gl_Position.xyz, 1.0);
    // A triangle reaching behind the eye has no sensible screen shape; the near plane clips the rest.
    if (c0.w <= 0.0 || c1.w <= 0.0 || c2.w <= 0.0) return;

    vec2 p0 = c0.xy / c0.w * screenSize * 0.5;
    vec2 p1 = c1.xy / c1.w * screenSize * 0.5;
    vec2 p2 = c2.xy / c2.w * screenSize * 0.5;
    vec2 border = p2 - p0;
    vec2 out1 = p1 - p0;
    float len = length(border);
    // The height of the middle vertex over the border; where the ribbon has no width, 0.
    float height = len > 1e-4 ? abs(border.x * out1.y - border.y * out1.x) / len : 0.0;

    edge = 0.0; depth = c0.w; gl_Position = c0; EmitVertex();
    edge = height; depth = c1.w; gl_Position = c1; EmitVertex();
    edge = 0.0; depth = c2.w; gl_Position = c2; EmitVertex();
    EndPrimitive();
}
