#version 330 core
// The ribbon's glow: brightest along its middle, fading to nothing at its edges.
// Made for white points of 20 to 65 (lines, flight): a near ribbon's core is about one.
const float light = 12.0;

in float across;
in float fade;
out vec4 result;

void main() {
    // Clamped: at a multisampled edge a pixel whose centre lies outside the quad is shaded at
    // that centre, where across runs past 1 and the square would grow again.
    float core = max(1.0 - across * across, 0.0);
    result = vec4(vec3(0.9, 0.35, 0.12) * core * core * fade * 2.0 * light, 0.0);
}
