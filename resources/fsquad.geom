#version 330 core
// Turns the pass's point into a quad that covers the viewport when "m" is the identity; any
// other "m" places the quad as a card. The texture coordinates run 0..1 over the quad.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 m;

out vec2 uv;

void main() {
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        uv = corners[i] * 0.5 + 0.5;
        gl_Position = m * vec4(corners[i], 0.0, 1.0);
        EmitVertex();
    }
    EndPrimitive();
}
