#version 330 core
// The geometry programs' vertex stage: the generated vertex goes on to the geometry shader as it
// is, position in xyz and the generator's fourth component in w; the geometry shader
// transforms it with "mat" and expands it.
layout(location = 0) in vec4 pos;

void main() {
    gl_Position = pos;
}
