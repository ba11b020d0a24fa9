#version 330 core
// The starfield's vertex stage: the star's position goes on to the geometry shader as it is.
layout(location = 0) in vec4 pos;

void main() {
    gl_Position = pos;
}
