#version 330 core
// A spark: a small round dot of the sprite's colour, added onto the HDR image. A spark a pixel
// wide gives the disc's mean evenly, wherever the pixel is shaded.
// Made for flight's white point of 25 to 65: a near spark's centre is about one at the glow's
// peak, a few hundredths far away.
const float light = 25.0;
// The fall-off's mean over the quad: pi / 8.
const float meanfall = 0.39269908;

in vec3 colour;
in vec2 corner;
in float blur;
out vec4 result;

void main() {
    float fall = max(1.0 - dot(corner, corner), 0.0);
    result = vec4(colour * mix(fall, meanfall, blur) * light, 0.0);
}
