#version 330 core
// The path as a ribbon: each triangle of the strip contributes the quad around its first edge,
// widened across the edge as seen on screen, as wide in the world as the vertices' w says (so
// it narrows with distance; at least 0.12). "across" runs from -1 to 1 over the ribbon's width; "fade" dims it with distance.
//
// Where the curve's steps are far below a pixel, as along a curve seen from afar, the triangle
// at the start of a run of steps draws the whole run as one quad, to the point the curve
// through its three vertices reaches at the run's end, and the run's other triangles draw
// nothing: the same light from a fraction of the primitives, which a software rasteriser pays
// for one by one.
layout(triangles) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 mat;

out float across;
out float fade;

void emit(vec4 c, vec2 offset, float side) {
    across = side;
    fade = 1.0 / (1.0 + c.w * 0.004);
    gl_Position = vec4(c.xy + offset * side, c.zw);
    EmitVertex();
}

void main() {
    vec4 a = mat * vec4(gl_in[0].gl_Position.xyz, 1.0);
    vec4 b = mat * vec4(gl_in[1].gl_Position.xyz, 1.0);
    // Behind the near plane: nothing sensible to widen.
    if (a.w < 1.0 || b.w < 1.0) return;

    // The projection's scales along x and y: the lengths of its first two rows (the view is a
    // rotation), to turn screen directions into clip offsets without the aspect's skew.
    vec2 focal = vec2(length(vec3(mat[0][0], mat[1][0], mat[2][0])), length(vec3(mat[0][1], mat[1][1], mat[2][1])));
    vec2 sa = a.xy / a.w / focal;
    vec2 sb = b.xy / b.w / focal;
    vec2 d = sb - sa;
    float len = length(d);

    // Steps per run: a power of two, so that the runs of neighbouring triangles line up, with a
    // run at most two pixels long at 720 lines (whose half height is 360 pixels).
    float pixels = len * focal.y * 360.0;
    int run = pixels > 2.0 ? 1 : int(exp2(min(floor(log2(2.0 / max(pixels, 1e-3))), 6.0)));
    // A run starts at an even triangle, which GL hands over in strip order (k, k+1, k+2).
    if (run > 1 && (gl_PrimitiveIDIn & (run - 1)) != 0) return;
    float wa = gl_in[0].gl_Position.w, wb = gl_in[1].gl_Position.w;
    if (run > 1) {
        // The parabola through the three vertices, at the run's end.
        float t = float(run);
        vec4 c = mat * vec4(gl_in[2].gl_Position.xyz, 1.0);
        b = a + (b - a) * t + (c - 2.0 * b + a) * (t * (t - 1.0) * 0.5);
        wb = wa + (wb - wa) * t;
        if (b.w < 1.0) return;
        sb = b.xy / b.w / focal;
        d = sb - sa;
        len = length(d);
    }

    vec2 side = len > 1e-6 ? vec2(-d.y, d.x) / len : vec2(0.0, 1.0);
    vec2 offseta = side * focal * 0.5 * max(wa, 0.12);
    vec2 offsetb = side * focal * 0.5 * max(wb, 0.12);
    // Wholly beyond one side of the view, widening included: nothing to light.
    vec4 ends = vec4(a.xy, b.xy), reach = (abs(offseta) + abs(offsetb)).xyxy, bound = vec4(a.ww, b.ww);
    bvec4 above = greaterThan(ends - reach, bound), below = lessThan(ends + reach, -bound);
    if ((above.x && above.z) || (above.y && above.w) || (below.x && below.z) || (below.y && below.w)) return;

    emit(a, offseta, -1.0);
    emit(a, offseta, 1.0);
    emit(b, offsetb, -1.0);
    emit(b, offsetb, 1.0);
    EndPrimitive();
}
