#version 330 core
// The tunnel's lines: soft across their width, violet near the camera turning blue-green in
// the distance. Values are tiny: the tunnel's picture is added onto the entryway's, whose
// pass exposes five times over, so anything above a few hundredths burns white.
in float across;
in float fade;
out vec4 result;

const vec3 nearcolour = vec3(0.012, 0.003, 0.02);
const vec3 farcolour = vec3(0.001, 0.004, 0.006);

void main() {
    // Multisampled edges shade at the pixel centre, which may lie beyond the ribbon's edge:
    // never let that subtract light.
    float core = max(1.0 - across * across, 0.0);
    result = vec4(mix(farcolour, nearcolour, fade * fade) * core, 0.0);
}
