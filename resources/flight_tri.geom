#version 330 core
// The path as a ribbon: each triangle of the strip contributes the quad around its first edge,
// widened across the edge as seen on screen, as wide in the world as the vertices' w says (so
// it narrows with distance; at least 0.12). "across" runs from -1 to 1 over the ribbon's width; "fade" dims it with distance.
layout(triangles) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 mat;

out float across;
out float fade;

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
    vec2 side = len > 1e-6 ? vec2(-d.y, d.x) / len : vec2(0.0, 1.0);
    vec2 offseta = side * focal * 0.5 * max(gl_in[0].gl_Position.w, 0.12);
    vec2 offsetb = side * focal * 0.5 * max(gl_in[1].gl_Position.w, 0.12);
    // Wholly beyond one side of the view, widening included: nothing to light, and a software
    // rasteriser would still pay for clipping it.
    vec4 ends = vec4(a.xy, b.xy), reach = (abs(offseta) + abs(offsetb)).xyxy, bound = vec4(a.ww, b.ww);
    bvec4 above = greaterThan(ends - reach, bound), below = lessThan(ends + reach, -bound);
    if ((above.x && above.z) || (above.y && above.w) || (below.x && below.z) || (below.y && below.w)) return;

    float fa = 1.0 / (1.0 + a.w * 0.004);
    float fb = 1.0 / (1.0 + b.w * 0.004);
    across = -1.0; fade = fa; gl_Position = vec4(a.xy - offseta, a.zw); EmitVertex();
    across = 1.0;  fade = fa; gl_Position = vec4(a.xy + offseta, a.zw); EmitVertex();
    across = -1.0; fade = fb; gl_Position = vec4(b.xy - offsetb, b.zw); EmitVertex();
    across = 1.0;  fade = fb; gl_Position = vec4(b.xy + offsetb, b.zw); EmitVertex();
    EndPrimitive();
}
