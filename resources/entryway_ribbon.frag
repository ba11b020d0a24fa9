#version 330 core
// A ribbon's light: its borders glow as lines about two pixels wide, the band between them
// is a faint veil. Further away it dims, so that a tree of ribbons seen from afar does not
// burn white. Values are small: the passes that show ribbons expose them strongly.
noperspective in float edge;
in float depth;
out vec4 result;

const vec3 linecolour = vec3(0.25, 0.55, 1.0);
const vec3 veilcolour = vec3(0.35, 0.2, 0.8);

void main() {
    float line = exp2(-edge * edge * 0.5);
    float dim = 1.0 / (1.0 + depth * 0.01);
    result = vec4((linecolour * line * 0.12 + veilcolour * 0.015) * dim, 0.0);
}
