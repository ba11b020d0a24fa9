#version 330 core
// A star becomes a small sprite under the camera "mat": a quad around its disc. Each star has
// its own fixed size and brightness; all take the colour gains "red", "green" and "blue" and
// fade with "visibility". The values are faint: the opening's pass turns 0.1 into white.
//
// Sizes are pixels at 720 lines, scaled to the picture's height ("screenSize"), so that the
// field looks the same at every size. A star smaller than a pixel is drawn a pixel wide with its
// light spread evenly over it, scaled down by the area it lost (to a power, below):
// multisampled coverage then places it.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 mat;
uniform float red;
uniform float green;
uniform float blue;
uniform float visibility;
uniform vec2 screenSize;

out vec3 colour;
// From -1 to 1 across the quad; the disc is the circle within it.
out vec2 corner;
// 1 for a star a pixel wide: its light even, at the disc's mean. 0 for a star twice that.
out float blur;

// The power of the lost area by which a sprite under a pixel is dimmed: 1.7, between the plain
// area (light adding up where sprites crowd) and the display's gamma of 2.2 (a lone sprite keeps
// the brightness the larger picture shows box-filtered). Beyond a sixteenth of a pixel the plain
// area takes over again: crowds dominate so small a picture, and they would fade out.
const float lost = 1.7;

// A fixed value in 0..1 for each star.
float starhash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return float(n & 0xffffffu) / 16777216.0;
}

void main() {
    vec4 clip = mat * vec4(gl_in[0].gl_Position.xyz, 1.0);
    if (clip.w < 1.0 || visibility <= 0.0) return;
    float h = starhash(uint(gl_PrimitiveIDIn));
    float g = starhash(uint(gl_PrimitiveIDIn) + 7919u);
    // Most stars are faint specks; a few are larger and bright.
    float bright = 0.15 + 0.85 * h * h * h;
    float nearness = clamp(120.0 / clip.w, 0.6, 2.0);
    float size = clamp((1.5 + 3.5 * bright) * nearness, 1.0, 9.0) * screenSize.y / 720.0;
    float drawn = max(size, 1.0);
    float area = size * size / (drawn * drawn);
    // A little blue in some of them, so that the field is not all one tint.
    vec3 tint = mix(vec3(1.0), vec3(0.6, 0.85, 1.6), g * g);
    vec3 light = vec3(red, green, blue) * tint * bright * visibility * 0.045 * area * pow(max(area, 0.0625), lost - 1.0);
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
