#version 330 core
// A round sprite with a soft edge, added onto the HDR image.
in vec3 colour;
in vec2 corner;
out vec4 result;

void main() {
    float fall = max(1.0 - dot(corner, corner), 0.0);
    result = vec4(colour * fall, 0.0);
}
