#version 330 core
// The ribbon's glow: brightest along its middle, fading to nothing at its edges.
in float across;
in float fade;
out vec4 result;

void main() {
    float core = 1.0 - across * across;
    result = vec4(vec3(0.9, 0.35, 0.12) * core * core * fade * 2.0, 0.0);
}
