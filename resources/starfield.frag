#version 330 core
// A star: a soft disc with a brighter core, added onto the HDR image.
in vec3 colour;
out vec4 result;

void main() {
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    float fall = max(1.0 - dot(d, d), 0.0);
    result = vec4(colour * (0.4 * fall + 0.6 * fall * fall * fall), 0.0);
}
