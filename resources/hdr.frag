#version 330 core
// Tone-maps the multisampled HDR target. The samples are averaged in linear HDR first, then
// scaled by "exposure" and mapped per channel with the extended Reinhard curve, whose white
// point "maxbright" maps to 1; the result is gamma-encoded for the display.
uniform sampler2DMS tex;
uniform int samples;  // the target's sample count
uniform float maxbright;
uniform float exposure;

in vec2 uv;
out vec4 color;

void main() {
    ivec2 size = textureSize(tex);
    ivec2 texel = clamp(ivec2(uv * vec2(size)), ivec2(0), size - 1);
    int count = max(samples, 1);
    vec3 sum = vec3(0.0);
    for (int i = 0; i < count; ++i)
        sum += texelFetch(tex, texel, i).rgb;
    vec3 c = max(exposure * sum / float(count), vec3(0.0));
    vec3 mapped = c * (1.0 + c / (maxbright * maxbright)) / (1.0 + c);
    color = vec4(pow(clamp(mapped, 0.0, 1.0), vec3(1.0 / 2.2)), 1.0);
}
