#version 330 core
// Full-screen passes draw one point without attributes; fsquad.geom makes the quad.
void main() {
    gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
}
