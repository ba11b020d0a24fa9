#version 330 core
// Tone-maps the multisampled HDR target. The samples are averaged in linear light first, then
// scaled by "exposure" and divided by the white point "maxbright", so that the white point
// scales every level of the picture and not only those near it: light at the white point comes
// out at 85 % of the display's linear range. The curve is linear up to a knee and rolls off
// smoothly above it, reaching white only well above the white point.
//
// A nested scene's pass writes into its parent's HDR image, which the parent's own pass maps
// again. Given the parent's exposure and white point ("parentexposure", "parentmaxbright"), it
// writes the linear light that the parent's curve maps back to this picture. A top-level pass
// (parentexposure 0, the default) gamma-encodes for the display.
uniform sampler2DMS tex;
uniform int samples;  // the target's sample count
uniform float maxbright;
uniform float exposure;
uniform float parentexposure;
uniform float parentmaxbright;

in vec2 uv;
out vec4 color;

const float knee = 0.6;
const float span = 1.0 - knee;
// The parent cannot give back pure white, which its curve only approaches.
const float brightest = 0.9999;

vec3 tonecurve(vec3 y) {
    vec3 shoulder = knee + span * (1.0 - exp(-(y - knee) / span));
    return mix(y, shoulder, step(knee, y));
}

vec3 inversecurve(vec3 m) {
    m = min(m, brightest);
    vec3 shoulder = knee - span * log(1.0 - (m - knee) / span);
    return mix(m, shoulder, step(knee, m));
}

void main() {
    ivec2 size = textureSize(tex);
    ivec2 texel = clamp(ivec2(uv * vec2(size)), ivec2(0), size - 1);
    int count = max(samples, 1);
    vec3 sum = vec3(0.0);
    for (int i = 0; i < count; ++i)
        sum += texelFetch(tex, texel, i).rgb;
    vec3 light = max(exposure * sum / float(count), vec3(0.0));
    vec3 mapped = tonecurve(light / maxbright);
    if (parentexposure > 0.0)
        color = vec4(inversecurve(mapped) * parentmaxbright / parentexposure, 1.0);
    else
        color = vec4(pow(mapped, vec3(1.0 / 2.2)), 1.0);
}
