#version 330 core
// A path glow: a soft disc with a white-hot centre, added onto the HDR image.
in vec3 colour;
out vec4 result;

void main() {
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    float fall = max(1.0 - dot(d, d), 0.0);
    float core = fall * fall * fall * fall;
    result = vec4(colour * fall + vec3(0.3 * core), 0.0);
}
