#version 330 core
// A line of the credits on its card. The string texture ("text": coverage in every channel,
// row 0 at the bottom of the text) is fitted to the card's width and centred in its height,
// keeping its proportions. "visibility" falls by 10 a second: from 30 down to 0 the line
// dissolves, small patches of it going out one after another, and below 0 it is gone.
//
// The value is small: the credits' pass exposes by 3 with white point 1, which brings the ink
// just below white.
uniform sampler2D text;
uniform float visibility;

in vec2 uv;  // 0..1 over the card, v growing upwards
out vec4 result;

const vec3 ink = vec3(0.31, 0.29, 0.26);

float hash(vec2 p) {
    return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453);
}

void main() {
    vec2 size = vec2(textureSize(text, 0));
    vec2 st = vec2(uv.x, (uv.y - 0.5) * size.x / size.y + 0.5);
    float inside = step(0.0, st.y) * step(st.y, 1.0);
    float coverage = texture(text, st).r * inside;

    // Patches of 16 x 16 texels of the 200-pixel raster, each with its own moment to go out.
    float moment = hash(floor(st * size / 16.0));
    float shown = clamp(visibility / 30.0, 0.0, 1.0) * 1.2;
    float keep = smoothstep(moment, moment + 0.2, shown);
    result = vec4(ink * coverage * keep, 0.0);
}
