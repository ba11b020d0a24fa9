#version 330 core
// Ground sprites: each point becomes one round sprite, a quad around its disc, about as wide as
// the grid's spacing seen from the camera, so that the ground closes without holes near the
// camera. Further away a sprite would be smaller than a pixel: there it is drawn a pixel wide
// with its light spread evenly over it, scaled down by the area it lost, so that the ground's
// light does not depend on the picture's size ("screenSize"). Of the sprites that would cover
// less than a fifth of a pixel at 720 lines only a share is drawn, as bright as the points they
// stand for, the same share at every size: a software rasteriser pays per sprite far more than
// per pixel. Colour comes from the height (w), with glowing contour lines. As "distort" grows,
// a swell rolls across the ground and the colours drift.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 mat;
uniform vec2 screenSize;
uniform float distort;

out vec3 colour;
// From -1 to 1 across the quad; the disc is the circle within it.
out vec2 corner;
// 1 for a sprite a pixel wide: its light even, at the disc's mean. 0 for one twice that.
out float blur;

// The grid's spacing in world units, and how much larger than that a sprite is drawn.
const float spacing = 6.0;
const float overlap = 1.3;
// The least area, in pixels at 720 lines, below which sprites are thinned.
const float least = 0.2;

vec3 palette(float h) {
    vec3 low = vec3(0.06, 0.05, 0.40);
    vec3 mid = vec3(0.08, 0.50, 0.55);
    vec3 high = vec3(1.00, 0.60, 0.30);
    return mix(mix(low, mid, smoothstep(0.1, 0.5, h)), high, smoothstep(0.5, 0.95, h));
}

// A fixed value in 0..1 for each point.
float pointhash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return float(n & 0xffffffu) / 16777216.0;
}

// |sin(h)|^60 for h = 0.03 y: cos(pi u)^60 with u the distance to the nearest crest in half
// turns, from a short series and repeated squaring, at a fraction of pow's and sin's cost.
float contourline(float y) {
    float u = y * (0.03 / 3.14159265) - 0.5;
    u -= floor(u + 0.5);
    float u2 = u * u;
    float c = max(1.0 + u2 * (-4.9348022 + u2 * (4.0587121 + u2 * (-1.3352627 + u2 * 0.2353306))), 0.0);
    float c4 = c * c;
    c4 *= c4;
    float c8 = c4 * c4;
    float c16 = c8 * c8;
    return c16 * c16 * c16 * c8 * c4;
}

void main() {
    vec4 p = gl_in[0].gl_Position;
    vec3 world = p.xyz;
    world.y += distort * 7.0 * sin(world.x * 0.0021 + distort * 0.6) * cos(world.z * 0.0017 - distort * 0.45);
    vec4 clip = mat * vec4(world, 1.0);
    // Behind the near plane or outside the view: nothing to rasterise.
    if (clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.02)))) return;

    // 1 / tan(half the field of view) is the length of the projection's second row, since the
    // view is a rotation.
    float size = spacing * overlap * 0.5 * length(vec3(mat[0][1], mat[1][1], mat[2][1])) * screenSize.y / clip.w;
    float drawn = max(size, 1.0);
    // The quads cover their whole squares, more than the point sprites the ground was first
    // drawn with: 0.88 keeps it as bright as it was.
    float kept = size * size / (drawn * drawn) * 0.88;
    float at720 = size * 720.0 / screenSize.y;
    float share = at720 * at720 / least;
    if (share < 1.0) {
        if (share < pointhash(uint(gl_PrimitiveIDIn))) return;
        kept /= share;
    }

    float drift = 0.3 * min(distort * 0.1, 1.0) * sin(distort * 0.2 + world.x * 0.0006 - world.z * 0.0004);
    vec3 light = (palette(clamp(p.w + drift, 0.0, 1.0)) * 0.35 + vec3(0.6, 0.8, 1.0) * contourline(world.y) * 0.9) * kept;
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
