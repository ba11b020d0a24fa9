#version 330 core
// A round sprite with a soft edge, added onto the HDR image. A sprite a pixel wide gives the
// disc's mean evenly, wherever the pixel is shaded.
in vec3 colour;
in vec2 corner;
in float blur;
out vec4 result;

// The fall-off's mean over the quad: pi / 8.
const float meanfall = 0.39269908;

void main() {
    float fall = max(1.0 - dot(corner, corner), 0.0);
    result = vec4(colour * mix(fall, meanfall, blur), 0.0);
}
