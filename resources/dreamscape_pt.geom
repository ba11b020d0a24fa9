#version 330 core
// Ground sprites: each point becomes one round point sprite about as wide as the grid's spacing
// seen from the camera, so that the ground closes without holes near the camera. Further away
// a sprite would be smaller than a pixel: there only a share of the points is drawn, each one
// pixel wide and as bright as the points it stands for. Colour comes from the height (w), with
// glowing contour lines. As "distort" grows, a swell rolls across the ground and the colours
// drift.
//
// A software rasteriser (Mesa's llvmpipe) pays per sprite far more than per pixel, so a sprite
// that lights a single pixel is drawn as that pixel alone, with the light the sprite gives it,
// and one that lights none is not drawn. Which pixels a sprite lights, and how much, follows
// how llvmpipe draws a multisampled point sprite, since the pictures are its: a pixel is lit
// where its corner (x + 1, y + 1) falls inside the sprite's disc (llvmpipe evaluates
// gl_PointCoord there), by the fall-off at that corner times the share of its four samples
// inside the sprite's square. Sprites that light more than one pixel are drawn as they are.
layout(points) in;
layout(points, max_vertices = 1) out;

uniform mat4 mat;
uniform vec2 screenSize;
uniform float distort;

// Negative for a sprite drawn as one pixel: the light to add there, without fall-off.
out vec3 colour;

// The grid's spacing in world units, and how much larger than that a sprite is drawn.
const float spacing = 6.0;
const float overlap = 1.3;
// A far one-pixel sprite that adds less light than this is kept in proportion to its light and
// then drawn this bright: a quarter fewer far sprites for the same light on average, and little
// more grain than the far ground had.
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
    float inverse = 1.0 / clip.w;
    float size = spacing * overlap * 0.5 * length(vec3(mat[0][1], mat[1][1], mat[2][1])) * screenSize.y * inverse;
    // The share of the far points drawn.
    float keep = size * size;
    float drawn = max(size, 1.0);

    // The sprite's centre in pixels, and the pixel corner nearest to it.
    vec2 at = (clip.xy * inverse * 0.5 + 0.5) * screenSize;
    vec2 corner = floor(at + 0.5);
    vec2 off = at - corner;
    float reach = 0.25 * drawn * drawn;
    float near = dot(off, off);
    if (near >= reach) return;
    // Lit pixels beside this one have their corners across the nearest pixel edges.
    vec2 edges = 1.0 - 2.0 * abs(off);
    float light = 1.0;
    if (near + edges.x >= reach && near + edges.y >= reach) {
        // The one lit pixel lies below and left of the corner; the sprite's square reaches past
        // its right and top edges, so a sample is inside when it is right of and above the
        // square's lower left.
        vec2 low = off + 1.0 - 0.5 * drawn;
        vec4 inside = step(vec4(low.x), vec4(0.375, 0.875, 0.125, 0.625)) * step(vec4(low.y), vec4(0.125, 0.375, 0.625, 0.875));
        float lit = (1.0 - near / reach) * dot(inside, vec4(0.25));
        // A sprite whose centre is outside the picture is clipped away whole.
        if (lit <= 0.0 || any(greaterThan(abs(clip.xy), vec2(clip.w)))) return;
        if (keep < 1.0) {
            keep *= min(lit / least, 1.0);
            lit = max(lit, least);
        }
        light = -lit;
        clip.xy = ((corner - 0.5) / screenSize * 2.0 - 1.0) * clip.w;
        drawn = 1.0;
    }
    if (keep < 1.0 && keep < pointhash(uint(gl_PrimitiveIDIn))) return;

    float drift = 0.3 * min(distort * 0.1, 1.0) * sin(distort * 0.2 + world.x * 0.0006 - world.z * 0.0004);
    colour = (palette(clamp(p.w + drift, 0.0, 1.0)) * 0.35 + vec3(0.6, 0.8, 1.0) * contourline(world.y) * 0.9) * light;
    gl_PointSize = drawn;
    gl_Position = clip;
    EmitVertex();
}
