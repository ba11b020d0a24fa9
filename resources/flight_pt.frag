#version 330 core
// A path glow: a soft disc with a white-hot centre, added onto the HDR image. A sprite a pixel
// wide gives the disc's mean evenly, wherever the pixel is shaded.
// Made for white points of 20 to 65 (lines, the tunnel, flight): a glow's centre is a tenth to
// a third of one, and sprites overlapping along a curve add up to about that.
const float light = 5.0;
// The means over the quad of the fall-off and of its fourth power: pi / 8 and pi / 20.
const float meanfall = 0.39269908, meancore = 0.15707963;

in vec3 colour;
in float portion;
in vec2 corner;
in float blur;
out vec4 result;

void main() {
    float fall = max(1.0 - dot(corner, corner), 0.0);
    float core = fall * fall * fall * fall;
    result = vec4((colour * mix(fall, meanfall, blur) + vec3(0.3 * mix(core, meancore, blur) * portion)) * light, 0.0);
}
