#version 330 core
// A flow particle under the tumbling camera "rot"; its colour comes from the kernel (the
// brightness in the fourth component). The locations of both inputs are bound by name.
in vec4 in_Position;
in vec4 color;

uniform mat4 rot;

out vec4 particle;

void main() {
    gl_Position = rot * vec4(in_Position.xyz, 1.0);
    particle = color;
}
