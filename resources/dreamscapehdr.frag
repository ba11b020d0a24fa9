#version 330 core
// The dreamscape's tone mapping. The samples of the multisampled HDR target are averaged,
// scaled by "exposure" and mapped with the extended Reinhard curve whose white point
// "maxbright" maps to 1, then gamma-encoded. The other scenes' pass divides by a white point
// that moves; the dreamscape's never does, and its light was made for this curve.
//
// "distort" (0, then rising to about 26) bends the picture: rings rippling out from the centre
// push the image in and out, the middle turns, and the three colours are taken from
// increasingly separate places. At 0 every pixel reads exactly its own texel.
uniform sampler2DMS tex;
uniform int samples;  // the target's sample count
uniform float maxbright;
uniform float exposure;
uniform vec2 res;     // the window in pixels
uniform float distort;

in vec2 uv;
out vec4 color;

ivec2 size;
int count;

vec3 resolved(vec2 at) {
    // Bent past the picture's edge, the picture is read mirrored rather than smeared.
    at = 1.0 - abs(1.0 - abs(at));
    ivec2 texel = clamp(ivec2(at * vec2(size)), ivec2(0), size - 1);
    vec3 sum = vec3(0.0);
    for (int i = 0; i < count; ++i)
        sum += texelFetch(tex, texel, i).rgb;
    return sum / float(count);
}

vec3 tonemap(vec3 hdr) {
    vec3 c = max(exposure * hdr, vec3(0.0));
    vec3 mapped = c * (1.0 + c / (maxbright * maxbright)) / (1.0 + c);
    return pow(clamp(mapped, 0.0, 1.0), vec3(1.0 / 2.2));
}

void main() {
    size = textureSize(tex);
    count = max(samples, 1);
    if (distort <= 0.0) {
        color = vec4(tonemap(resolved(uv)), 1.0);
        return;
    }
    // Around the centre, in units of the picture's height.
    float aspect = res.x / res.y;
    vec2 p = (uv - 0.5) * vec2(aspect, 1.0);
    float r = length(p);
    float d = distort;
    // Rings running outwards, their amplitude growing with the distortion.
    float ripple = 0.0013 * d * sin(r * 38.0 - d * 2.7);
    // A turn that is strongest in the middle.
    float angle = 0.012 * d * exp(-r * r * 6.0) * sin(d * 0.35);
    float c = cos(angle), s = sin(angle);
    vec2 q = mat2(c, s, -s, c) * p * (1.0 + ripple);
    // The colours separate along the radius, by a fixed part of the picture's height per unit.
    vec2 apart = normalize(p + vec2(1e-5)) * d * 0.001;
    vec2 base = q / vec2(aspect, 1.0) + 0.5;
    vec3 hdr = vec3(resolved(base + apart * vec2(1.0 / aspect, 1.0)).r,
                    resolved(base).g,
                    resolved(base - apart * vec2(1.0 / aspect, 1.0)).b);
    color = vec4(tonemap(hdr), 1.0);
}
