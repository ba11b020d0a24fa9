#version 330 core
// Sprites for curves and sparks, coloured by the gains "red", "green" and "blue". A vertex's w
// is its sprite's width in world units: from 0.2 up it is a glow, twice as bright; below that
// (the sparks write none) a spark 0.12 wide. A sprite smaller than a
// pixel is drawn one pixel wide for only a share of the points, as bright as the points it
// stands for: a software rasteriser pays per point far more than per pixel, and the far ends
// of 3000 lines are millions of them.
layout(points) in;
layout(points, max_vertices = 1) out;

uniform mat4 mat;
uniform float red;
uniform float green;
uniform float blue;

out vec3 colour;

// A fixed value in 0..1 for each point.
float pointhash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return float(n & 0xffffffu) / 16777216.0;
}

void main() {
    vec4 p = gl_in[0].gl_Position;
    vec4 clip = mat * vec4(p.xyz, 1.0);
    // Behind the near plane or outside the view: nothing to rasterise.
    if (clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.05)))) return;

    // Sizes in pixels at 720 lines, whose half height is 360 pixels.
    float focal = length(vec3(mat[0][1], mat[1][1], mat[2][1]));
    float world = max(p.w, 0.12);
    float size = world * focal * 360.0 / clip.w;
    // Far away, at least one point in five stays, so that the lines still read from high
    // above.
    float cover = max(size * size, 0.2);
    if (cover < 1.0 && cover < pointhash(uint(gl_PrimitiveIDIn))) return;

    // Far sparks fade, so that where thousands of lines meet in the distance they glow rather
    // than burn white. The squared gains keep the colour saturated through the tone mapping
    // and make the glow's pulse plain.
    float fade = 1.0 / (1.0 + clip.w * 0.002);
    colour = vec3(red * red, green * green, blue * blue) * 0.5 * fade * mix(1.0, 2.0, step(0.2, p.w));
    gl_PointSize = clamp(size, 1.0, 12.0);
    gl_Position = clip;
    EmitVertex();
    EndPrimitive();
}
