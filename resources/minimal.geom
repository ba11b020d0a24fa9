#version 330 core
// A particle becomes a sprite a little larger when near, in the faint HDR values the opening's
// pass (exposure 10, white at 0.1) turns into colour; where many overlap they burn white.
//
// The sprite is a quad around its disc, its size pixels at 720 lines scaled to the picture's
// height ("screenSize"). One smaller than a pixel is drawn a pixel wide with its light spread
// evenly over it, scaled down by the area it lost (to a power, below).
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform vec2 screenSize;

in vec4 particle[];
out vec3 colour;
// From -1 to 1 across the quad; the disc is the circle within it.
out vec2 corner;
// 1 for a sprite a pixel wide: its light even, at the disc's mean. 0 for one twice that.
out float blur;

// The power of the lost area by which a sprite under a pixel is dimmed: 1.7, between the plain
// area (light adding up where sprites crowd) and the display's gamma of 2.2 (a lone sprite keeps
// the brightness the larger picture shows box-filtered). Beyond a sixteenth of a pixel the plain
// area takes over again: crowds dominate so small a picture, and they would fade out.
const float lost = 1.7;

void main() {
    vec4 clip = gl_in[0].gl_Position;
    // Behind the eye: nothing to draw.
    if (clip.w < 0.1) return;
    float size = clamp(48.0 / clip.w, 1.5, 6.0) * screenSize.y / 720.0;
    float drawn = max(size, 1.0);
    float area = size * size / (drawn * drawn);
    vec3 light = particle[0].rgb * particle[0].a * 0.028 * area * pow(max(area, 0.0625), lost - 1.0);
    vec2 reach = drawn / screenSize * clip.w;
    for (int k = 0; k < 4; ++k) {
        corner = vec2(k & 1, k >> 1) * 2.0 - 1.0;
        colour = light;
        blur = clamp(2.0 - drawn, 0.0, 1.0);
        gl_Position = clip + vec4(corner * reach, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
