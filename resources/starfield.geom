#version 330 core
// A star becomes a small point sprite under the camera "mat". Each star has its own fixed
// size and brightness; all take the colour gains "red", "green" and "blue" and fade with
// "visibility". The values are faint: the opening's pass turns 0.1 into white.
layout(points) in;
layout(points, max_vertices = 1) out;

uniform mat4 mat;
uniform float red;
uniform float green;
uniform float blue;
uniform float visibility;

out vec3 colour;

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
    // Most stars are faint specks; a few are larger and bright. Pixel sizes at 720 lines.
    float bright = 0.15 + 0.85 * h * h * h;
    float nearness = clamp(120.0 / clip.w, 0.6, 2.0);
    gl_PointSize = clamp((1.5 + 3.5 * bright) * nearness, 1.0, 9.0);
    // A little blue in some of them, so that the field is not all one tint.
    vec3 tint = mix(vec3(1.0), vec3(0.6, 0.85, 1.6), g * g);
    colour = vec3(red, green, blue) * tint * bright * visibility * 0.045;
    gl_Position = clip;
    EmitVertex();
    EndPrimitive();
}
