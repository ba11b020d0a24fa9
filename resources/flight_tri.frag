#version 330 core
// The ribbon's glow: brightest along its middle, fading to nothing at its edges.
in float across;
in float fade;
out vec4 result;

void main() {
    // Clamped: at a multisampled edge a pixel whose centre lies outside the quad is shaded at
    // that centre, where across runs past 1 and the square would grow again.
    float core = max(1.0 - across * across, 0.0);
    result = vec4(vec3(0.9, 0.35, 0.12) * core * core * fade * 2.0, 0.0);
}
