#version 330 core
// A spark: a small round dot of the sprite's colour, added onto the HDR image; a spark drawn as
// one pixel (negative colour) adds its light there as it is.
in vec3 colour;
out vec4 result;

void main() {
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    result = vec4(colour.r < 0.0 ? -colour : colour * max(1.0 - dot(d, d), 0.0), 0.0);
}
