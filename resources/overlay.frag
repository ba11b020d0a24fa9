#version 330 core
// Maker mode's overlay: a string texture (coverage in all four channels) drawn on a card in
// white, or in red where "red" is 1, over a darkened backdrop. Premultiplied for
// glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA).
uniform sampler2D text;
uniform float red;

in vec2 uv;

out vec4 result;

void main() {
    float coverage = texture(text, uv).r;
    vec3 colour = mix(vec3(1.0), vec3(1.0, 0.2, 0.15), red);
    result = vec4(colour * coverage, max(coverage, 0.6));
}
