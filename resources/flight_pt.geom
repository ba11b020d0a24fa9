#version 330 core
// Sprites for curves and sparks, coloured by the gains "red", "green" and "blue". A vertex's w
// is its sprite's width in world units: from 0.2 up it is a glow, twice as bright; below that
// (the sparks write none) a spark 0.12 wide. A sprite smaller than a
// pixel is drawn one pixel wide for only a share of the points, as bright as the points it
// stands for: a software rasteriser pays per point far more than per pixel, and the far ends
// of 3000 lines are millions of them.
//
// Given the "screenSize", a spark drawn one pixel wide is drawn as the pixel it lights, with the
// light the sprite gives it, and not at all when it lights none: nearly half of them light
// none. Which pixel and how much follows how llvmpipe draws a multisampled point sprite, since
// the pictures are its: a pixel is lit where its corner (x + 1, y + 1) falls inside the sprite's
// disc (llvmpipe evaluates gl_PointCoord there), by the fall-off at that corner times the share
// of its four samples inside the sprite's square; a sprite one pixel wide can light at most one.
// Without a "screenSize" every sprite is drawn as a sprite.
//
// The curve comes in as a line strip: each segment lights the sprite at its end with the light
// of the segment's length, and the first segment lights its start too, so that every vertex
// has its sprite. Where the vertices lie closer than a sprite is wide, the sprites overlap,
// and each gives its share, so that a curve glows alike however densely it is sampled; sprites
// further apart than they are wide shine whole.
layout(lines) in;
layout(points, max_vertices = 2) out;

uniform mat4 mat;
uniform float red;
uniform float green;
uniform float blue;
uniform vec2 screenSize;

// Negative for a spark drawn as one pixel: the light to add there, without fall-off.
out vec3 colour;
// The sprite's share of its segment's light, for the white-hot centre the gains do not colour.
out float portion;

// A fixed value in 0..1 for each point.
float pointhash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return float(n & 0xffffffu) / 16777216.0;
}

// The sprite of vertex `index` at p, lit by a segment `span` long.
void sprite(vec4 p, float span, int index) {
    vec4 clip = mat * vec4(p.xyz, 1.0);
    // Behind the near plane or outside the view: nothing to rasterise.
    if (clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.05)))) return;

    // Sizes in pixels at 720 lines, whose half height is 360 pixels.
    float focal = length(vec3(mat[0][1], mat[1][1], mat[2][1]));
    float world = max(p.w, 0.12);
    float share = min(span / world, 1.0);
    portion = share;
    float size = world * focal * 360.0 / clip.w;
    // Far away, at least one point in five stays, so that the lines still read from high
    // above.
    float cover = max(size * size, 0.2);
    if (cover < 1.0 && cover < pointhash(uint(index))) return;

    // Far sparks fade, so that where thousands of lines meet in the distance they glow rather
    // than burn white. The squared gains keep the colour saturated through the tone mapping
    // and make the glow's pulse plain.
    float fade = 1.0 / (1.0 + clip.w * 0.002);
    colour = vec3(red * red, green * green, blue * blue) * 0.5 * fade * share * mix(1.0, 2.0, step(0.2, p.w));
    if (size <= 1.0 && p.w < 0.2 && screenSize.y > 0.0) {
        // The sprite's centre in pixels, and the pixel corner nearest to it: the one that may
        // fall inside its disc of radius 0.5.
        vec2 at = (clip.xy / clip.w * 0.5 + 0.5) * screenSize;
        vec2 corner = floor(at + 0.5);
        vec2 off = at - corner;
        float near = dot(off, off);
        // The lit pixel lies below and left of the corner; the square reaches past its right
        // and top edges, so a sample is inside when it is right of and above the square's
        // lower left.
        vec2 low = off + 0.5;
        vec4 inside = step(vec4(low.x), vec4(0.375, 0.875, 0.125, 0.625)) * step(vec4(low.y), vec4(0.125, 0.375, 0.625, 0.875));
        float lit = (1.0 - 4.0 * near) * dot(inside, vec4(0.25));
        // A sprite whose centre is outside the picture is clipped away whole.
        if (lit <= 0.0 || any(greaterThan(abs(clip.xy), vec2(clip.w)))) return;
        colour *= -lit;
        clip.xy = ((corner - 0.5) / screenSize * 2.0 - 1.0) * clip.w;
    }
    gl_PointSize = clamp(size, 1.0, 12.0);
    gl_Position = clip;
    EmitVertex();
    EndPrimitive();
}

void main() {
    float segment = distance(gl_in[0].gl_Position.xyz, gl_in[1].gl_Position.xyz);
    if (gl_PrimitiveIDIn == 0) sprite(gl_in[0].gl_Position, segment, 0);
    sprite(gl_in[1].gl_Position, segment, gl_PrimitiveIDIn + 1);
}
