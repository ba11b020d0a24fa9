#version 330 core
// A title card: the string texture "tex" fitted into the pass's quad with its proportions kept
// and its ink centred (the ink's rectangle in tex's coordinates is "inkfrom" to "inkto"),
// faded by "visibility" and added onto the HDR image in a faint warm white: the opening's pass
// turns 0.1 into white.
uniform sampler2D tex;
uniform float visibility;
uniform vec2 inkfrom;
uniform vec2 inkto;

in vec2 uv;  // 0..1 over the card, v growing upwards as the text's rows do
out vec4 result;

// Share of the card the text may fill, across and up.
const vec2 fill = vec2(0.9, 0.5);

void main() {
    // The card's size in pixels, from how fast uv changes from one pixel to the next.
    vec2 card = 1.0 / abs(vec2(dFdx(uv.x), dFdy(uv.y)));
    vec2 texels = vec2(textureSize(tex, 0));
    vec2 ink = (inkto - inkfrom) * texels;
    vec2 fit = card * fill / ink;
    float scale = min(fit.x, fit.y);  // pixels per texel
    vec2 perpixel = 1.0 / (scale * texels);
    vec2 at = (inkfrom + inkto) * 0.5 + (uv - 0.5) * card * perpixel;

    // The text is shrunk, mostly: 4 x 4 taps over each pixel's footprint keep its edges smooth.
    float cover = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            vec2 p = at + (vec2(i, j) + 0.5 - 2.0) * 0.25 * perpixel;
            bool inside = all(greaterThanEqual(p, vec2(0.0))) && all(lessThanEqual(p, vec2(1.0)));
            cover += inside ? texture(tex, p).r : 0.0;
        }
    cover /= 16.0;
    result = vec4(vec3(0.1, 0.093, 0.082) * cover * visibility, 0.0);
}
