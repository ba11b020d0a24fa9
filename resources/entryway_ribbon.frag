#version 330 core
// A ribbon's light: its borders glow as lines about two pixels wide at 720 lines, the band
// between them is a faint veil. Further away it dims, so that a tree of ribbons seen from afar
// does not burn white. Values are small: the passes that show ribbons expose them strongly.
//
// The lines keep their width in proportion to the picture's height ("screenSize"), so that the
// picture looks the same at every size; where that would be narrower than about a pixel they
// are drawn that wide, their light scaled down by the width they lost.
noperspective in float edge;
in float depth;
out vec4 result;

uniform vec2 screenSize;

// The narrowest line, as a share of its width at 720 lines: 1.1 pixels at half its peak.
const float thinnest = 0.4;

const vec3 linecolour = vec3(0.25, 0.55, 1.0);
const vec3 veilcolour = vec3(0.35, 0.2, 0.8);

void main() {
    float scale = screenSize.y / 720.0;
    float width = max(scale, thinnest);
    float across = edge / width;
    float line = exp2(-across * across * 0.5) * scale / width;
    float dim = 1.0 / (1.0 + depth * 0.01);
    result = vec4((linecolour * line * 0.12 + veilcolour * 0.015) * dim, 0.0);
}
