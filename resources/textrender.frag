#version 330 core
// One glyph of renderText, added into the string texture (additive blending).
//
// "pos" and "size" give the glyph texture's rectangle in the target's 0..1 coordinates,
// measured from the target's top-left corner with y growing downwards, as text is read; the
// glyph's row 0 (FreeType's top row) lands at pos. Against GL's rows, which count from the
// bottom, this makes the string texture upright: its row 0 (t = 0) is the bottom of the text,
// so a shader sampling it with v growing upwards reads the text upright.
//
// "glyph" holds the coverage in its red channel; it is written to all four channels. The
// rectangle lies on whole pixels, so texels are fetched, not filtered.
uniform sampler2D glyph;
uniform vec2 pos;
uniform vec2 size;

in vec2 uv;  // 0..1 over the viewport, from fsquad.geom, v growing upwards

out vec4 result;

void main() {
    vec2 local = (vec2(uv.x, 1.0 - uv.y) - pos) / size;
    if (any(lessThan(local, vec2(0.0))) || any(greaterThanEqual(local, vec2(1.0)))) {
        result = vec4(0.0);
        return;
    }
    ivec2 texel = ivec2(local * vec2(textureSize(glyph, 0)));
    result = vec4(texelFetch(glyph, texel, 0).r);
}
