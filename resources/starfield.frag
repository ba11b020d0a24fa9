#version 330 core
// A star: a soft disc with a brighter core, added onto the HDR image. A star a pixel wide gives
// the disc's mean evenly, wherever the pixel is shaded.
in vec3 colour;
in vec2 corner;
in float blur;
out vec4 result;

// The means over the quad of the fall-off and of its cube: pi / 8 and pi / 16.
const float meanfall = 0.39269908, meancube = 0.19634954;

void main() {
    float fall = max(1.0 - dot(corner, corner), 0.0);
    float disc = 0.4 * fall + 0.6 * fall * fall * fall;
    result = vec4(colour * mix(disc, 0.4 * meanfall + 0.6 * meancube, blur), 0.0);
}
