#version 330 core
// A path glow: a soft disc with a white-hot centre, added onto the HDR image.
// Made for white points of 20 to 65 (lines, the tunnel, flight): a glow's centre is a tenth to
// a third of one, and sprites overlapping along a curve add up to about that.
const float light = 5.0;

in vec3 colour;
in float portion;
out vec4 result;

void main() {
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    float fall = max(1.0 - dot(d, d), 0.0);
    float core = fall * fall * fall * fall;
    result = vec4((colour * fall + vec3(0.3 * core * portion)) * light, 0.0);
}
