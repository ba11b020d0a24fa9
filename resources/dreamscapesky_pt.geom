#version 330 core
// Sky sprites: w holds the layer (integer part) and the brightness (fraction). Each point
// becomes a small sprite of a fixed part of the picture's height, so the sky looks the same at
// every window size: stars are tiny and sharp, the band of light a green-to-violet curtain, the
// cloud sea a pale violet haze of larger sprites. As "distort" grows the sky twists about the
// vertical axis, the more the higher it is, and its sprites swell. A sprite smaller than a pixel
// of the picture ("screenSize") is drawn a pixel wide with its light spread evenly over it,
// scaled down by the area it lost, so that the sky's light does not depend on the size.
//
// The sprite is one triangle around its disc rather than a quad of two: a software rasteriser
// pays per triangle far more than per pixel, and the fall-off is the same, since the triangle's
// corners carry the same offsets from the centre. Unlit cloud (brightness 0) is not drawn.
layout(points) in;
layout(triangle_strip, max_vertices = 3) out;

uniform mat4 mat;
uniform float distort;
uniform vec2 screenSize;

out vec3 colour;
// The offset from the disc's centre in units of its radius.
out vec2 corner;
// 1 for a sprite a pixel wide: its light even, at the disc's mean. 0 for one twice that.
out float blur;

void main() {
    vec4 p = gl_in[0].gl_Position;
    float layer = floor(p.w);
    float bright = p.w - layer;
    vec3 world = p.xyz;
    float twist = distort * 0.004 * (world.y + 2000.0) * 0.001;
    float c = cos(twist), s = sin(twist);
    world.xz = mat2(c, s, -s, c) * world.xz;
    vec4 clip = mat * vec4(world, 1.0);
    if (bright <= 0.0 || clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.05)))) return;

    vec3 tint;
    float radius;  // of the sprite's disc, in units of the picture's half-height
    if (layer < 0.5) {
        tint = vec3(0.8, 0.85, 1.0) * 3.0;
        radius = 0.0025;
    } else if (layer < 1.5) {
        // Green at the curtain's foot, violet at its top.
        float up = clamp((p.y + 1800.0) / 4600.0, 0.0, 1.0);
        tint = mix(vec3(0.1, 1.0, 0.5), vec3(0.7, 0.2, 1.0), up) * 1.2;
        radius = 0.006;
    } else {
        tint = vec3(0.55, 0.45, 0.9) * 0.3;
        radius = 0.012;
    }
    radius *= 1.0 + distort * 0.03;
    // The disc's width in pixels, and the width it is drawn.
    float size = radius * screenSize.y;
    float drawn = max(size, 1.0);
    radius *= drawn / size;
    colour = tint * bright * (size * size) / (drawn * drawn);
    // The projection's rows give the aspect ratio: the disc is as wide as it is high.
    float aspect = length(vec3(mat[0][1], mat[1][1], mat[2][1])) / length(vec3(mat[0][0], mat[1][0], mat[2][0]));
    vec2 extent = vec2(radius / aspect, radius) * clip.w;
    // The equilateral triangle whose inscribed circle is the disc.
    const vec2 corners[3] = vec2[3](vec2(0.0, 2.0), vec2(-1.7320508, -1.0), vec2(1.7320508, -1.0));
    for (int i = 0; i < 3; ++i) {
        corner = corners[i];
        blur = clamp(2.0 - drawn, 0.0, 1.0);
        gl_Position = clip + vec4(corner * extent, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
