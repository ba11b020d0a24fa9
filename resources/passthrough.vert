#version 330 core
// The geometry programs' vertex stage: the generated vertex goes on to the geometry shader as it
// is, position in xyz and the generator's fourth component in w; the geometry shader
// transforms it with "mat" and expands it. Its index goes on too, for a geometry shader that
// needs to know which of a strip's vertices it is given.
layout(location = 0) in vec4 pos;

flat out int index;

void main() {
    gl_Position = pos;
    index = gl_VertexID;
}
