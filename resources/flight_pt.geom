#version 330 core
// Sprites for curves and sparks, coloured by the gains "red", "green" and "blue". A vertex's w
// is its sprite's width in world units: from 0.2 up it is a glow, twice as bright; below that
// (the sparks write none) a spark 0.12 wide.
//
// Each sprite is a quad around its disc. Its size on screen is taken in pixels at 720 lines, at
// most 12, and scaled to the picture's height ("screenSize"), so that a curve looks the same at
// every size. Of the sprites under a pixel at 720 lines only a share is drawn, at least one in
// five, each a pixel wide there: a software rasteriser pays per sprite far more than per pixel,
// and the far ends of 3000 lines are millions of them. The same sprites are drawn at every
// size. One smaller than a pixel of the picture lights the one pixel its centre falls in,
// evenly, its light scaled down by the area it lost to the power 1.7: a lone spark shrunk into
// a pixel of a smaller picture then keeps about the brightness the larger picture's pixels show
// box-filtered, which the display's gamma (2.2) would otherwise raise; crowded sparks, which
// add up in one pixel, want less, hence not the full 2.2. A sprite a pixel wide at 720 lines
// glints (below) as the far sparks of the pictures made so far did.
//
// The curve comes in as a line strip: each segment lights the sprite at its end with the light
// of the segment's length, and the first segment lights its start too, so that every vertex
// has its sprite, once. A strip of one vertex has no segment: it comes as its first segment
// with "lone" set, which lights the start alone. Where the vertices lie closer than a sprite is
// wide, the sprites overlap, and each gives its share, so that a curve glows alike however
// densely it is sampled; sprites further apart than they are wide shine whole.
layout(lines) in;
layout(triangle_strip, max_vertices = 8) out;

uniform mat4 mat;
uniform float red;
uniform float green;
uniform float blue;
uniform vec2 screenSize;
uniform int lone;

out vec3 colour;
// The sprite's share of its segment's light, for the white-hot centre the gains do not colour.
out float portion;
// From -1 to 1 across the quad; the disc is the circle within it.
out vec2 corner;
// 1 for a sprite a pixel wide: its light even, at the disc's mean. 0 for one twice that.
out float blur;

// The power of the lost area by which a sprite under a pixel is dimmed; beyond a sixteenth of a
// pixel, the plain area: crowds dominate so small a picture, and they would fade out.
const float lost = 1.7;

// A fixed value in 0..1 for each point.
float pointhash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return float(n & 0xffffffu) / 16777216.0;
}

// How brightly a sprite a pixel wide at 720 lines glints, as a share of its disc's mean light:
// fixed for each sprite of each draw, and spread as the far sparks of the earlier pictures
// were, a point sprite lighting a pixel only where the pixel's corner fell inside its disc
// (nearly half of them none), a little dimmer since a quad lights a little more than such a
// point. The spread, not only the mean, keeps the web's look: through the display's gamma,
// even dots look brighter than uneven ones of the same light.
float glint(int index) {
    uint n = uint(index) * 1664525u + floatBitsToUint(mat[3][0] + mat[3][1] + mat[3][2]);
    vec2 off = vec2(pointhash(n * 3u + 1u), pointhash(n * 3u + 2u)) - 0.5;
    vec2 low = off + 0.5;
    vec4 inside = step(vec4(low.x), vec4(0.375, 0.875, 0.125, 0.625)) * step(vec4(low.y), vec4(0.125, 0.375, 0.625, 0.875));
    return max(1.0 - 4.0 * dot(off, off), 0.0) * dot(inside, vec4(0.25)) * 0.86 / 0.39269908;
}

// The sprite of vertex `index` at p, lit by a segment `span` long.
void sprite(vec4 p, float span, int index) {
    vec4 clip = mat * vec4(p.xyz, 1.0);
    // Behind the near plane or outside the view: nothing to rasterise.
    if (clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.05)))) return;

    // 720 lines' half height is 360 pixels. Far away at least one sprite in five stays, so
    // that the lines still read from high above.
    float focal = length(vec3(mat[0][1], mat[1][1], mat[2][1]));
    float world = max(p.w, 0.12);
    float share = min(span / world, 1.0);
    float at720 = min(world * focal * 360.0 / clip.w, 12.0);
    if (at720 < 1.0 && max(at720 * at720, 0.2) < pointhash(uint(index))) return;
    at720 = max(at720, 1.0);
    float size = at720 * screenSize.y / 720.0;
    float drawn = max(size, 1.0);
    float area = size * size / (drawn * drawn);
    float kept = area * pow(max(area, 0.0625), lost - 1.0) * mix(glint(index), 1.0, min(at720 - 1.0, 1.0));

    // Far sparks fade, so that where thousands of lines meet in the distance they glow rather
    // than burn white. The squared gains keep the colour saturated through the tone mapping
    // and make the glow's pulse plain.
    float fade = 1.0 / (1.0 + clip.w * 0.002);
    vec3 light = vec3(red * red, green * green, blue * blue) * 0.5 * fade * share * mix(1.0, 2.0, step(0.2, p.w)) * kept;
    vec2 reach = drawn / screenSize * clip.w;
    // A sprite a pixel wide lights the pixel its centre falls in, and only that one.
    if (size <= 1.0) clip.xy = ((floor((clip.xy / clip.w * 0.5 + 0.5) * screenSize) + 0.5) / screenSize * 2.0 - 1.0) * clip.w;
    for (int k = 0; k < 4; ++k) {
        corner = vec2(k & 1, k >> 1) * 2.0 - 1.0;
        colour = light;
        portion = share * kept;
        blur = clamp(2.0 - drawn, 0.0, 1.0);
        gl_Position = clip + vec4(corner * reach, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}

void main() {
    float segment = distance(gl_in[0].gl_Position.xyz, gl_in[1].gl_Position.xyz);
    if (gl_PrimitiveIDIn == 0) sprite(gl_in[0].gl_Position, segment, 0);
    if (lone == 0) sprite(gl_in[1].gl_Position, segment, gl_PrimitiveIDIn + 1);
}
