#version 330 core
// Ground sprites: each point becomes one round point sprite about as wide as the grid's spacing
// seen from the camera, so that the ground closes without holes near the camera. Further away
// a sprite would be smaller than a pixel: there only a share of the points is drawn, each one
// pixel wide and as bright as the points it stands for, since a software rasteriser pays per
// point far more than per pixel. Colour comes from the height (w), with glowing contour
// lines. As "distort" grows, a swell rolls across the ground and the colours drift.
layout(points) in;
layout(points, max_vertices = 1) out;

uniform mat4 mat;
uniform vec2 screenSize;
uniform float distort;

out vec3 colour;

// The grid's spacing in world units, and how much larger than that a sprite is drawn.
const float spacing = 6.0;
const float overlap = 1.3;

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

void main() {
    vec4 p = gl_in[0].gl_Position;
    vec3 world = p.xyz;
    world.y += distort * 7.0 * sin(world.x * 0.0021 + distort * 0.6) * cos(world.z * 0.0017 - distort * 0.45);
    vec4 clip = mat * vec4(world, 1.0);
    // Behind the near plane or outside the view: nothing to rasterise.
    if (clip.w < 1.0 || any(greaterThan(abs(clip.xy), vec2(clip.w * 1.02)))) return;

    // 1 / tan(half the field of view): the length of the projection's second row, since the
    // view is a rotation.
    float focal = length(vec3(mat[0][1], mat[1][1], mat[2][1]));
    float size = spacing * overlap * focal * 0.5 * screenSize.y / clip.w;
    float cover = size * size;
    if (cover < 1.0 && cover < pointhash(uint(gl_PrimitiveIDIn))) return;

    float contour = pow(abs(sin(world.y * 0.03)), 60.0);
    float drift = 0.3 * min(distort * 0.1, 1.0) * sin(distort * 0.2 + world.x * 0.0006 - world.z * 0.0004);
    colour = palette(clamp(p.w + drift, 0.0, 1.0)) * 0.35 + vec3(0.6, 0.8, 1.0) * contour * 0.9;
    gl_PointSize = max(size, 1.0);
    gl_Position = clip;
    EmitVertex();
    EndPrimitive();
}
