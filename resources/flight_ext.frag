#version 330 core
// A spark: a small round dot of the sprite's colour, added onto the HDR image; a spark drawn as
// one pixel (negative colour) adds its light there as it is.
// Made for flight's white point of 25 to 65: a near spark's centre is about one at the glow's
// peak, a few hundredths far away.
const float light = 25.0;

in vec3 colour;
out vec4 result;

void main() {
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    result = vec4((colour.r < 0.0 ? -colour : colour * max(1.0 - dot(d, d), 0.0)) * light, 0.0);
}
