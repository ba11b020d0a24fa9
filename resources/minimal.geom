#version 330 core
// A particle becomes a point sprite a little larger when near, in the faint HDR values the
// opening's pass (exposure 10, white at 0.1) turns into colour; where many overlap they
// burn white.
layout(points) in;
layout(points, max_vertices = 1) out;

in vec4 particle[];
out vec3 colour;

void main() {
    vec4 clip = gl_in[0].gl_Position;
    // Behind the eye: nothing to draw.
    if (clip.w < 0.1) return;
    colour = particle[0].rgb * particle[0].a * 0.028;
    gl_PointSize = clamp(48.0 / clip.w, 1.5, 6.0);
    gl_Position = clip;
    EmitVertex();
    EndPrimitive();
}
