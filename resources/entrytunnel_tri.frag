#version 330 core
// The tunnel's lines: soft across their width, violet near the camera turning blue-green in
// the distance. Light for the tunnel's white point of 20.
in float across;
in float fade;
out vec4 result;

const vec3 nearcolour = vec3(13.0, 7.0, 17.0);
const vec3 farcolour = vec3(4.4, 8.2, 9.8);

void main() {
    // Multisampled edges shade at the pixel centre, which may lie beyond the ribbon's edge:
    // never let that subtract light.
    float core = max(1.0 - across * across, 0.0);
    result = vec4(mix(farcolour, nearcolour, fade * fade) * core, 0.0);
}
