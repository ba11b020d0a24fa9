// The opening's flow: Thomas' cyclically symmetric attractor, a knot of looping tubes that
// reads from every side as the camera tumbles. Its damping pulls every particle of the start
// cube into the knot within a second or two; there they wander its loops, never settling. Each
// particle lives five to eleven seconds, then is born again at a random place in the cube and
// fades in, so that new streams keep pouring in. The colour follows the speed: deep blue where
// the flow is slow, cyan, then a hot orange where it runs fastest.
//
// pos: x, y, z and the particle's age in seconds (w); col: the colour, with the brightness in
// its fourth component; dt: seconds per step; t: production time in seconds.

// The attractor's damping, world units per attractor unit, and attractor time per second.
#define DAMPING 0.208186f
#define SCALE 1.45f
#define PACE 3.5f

uint hash(uint n) {
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return n;
}

// A fixed value in [0, 1) for each n.
float unit(uint n) {
    return (float)(hash(n) & 0xffffffu) / 16777216.0f;
}

// The flow's velocity at p, in attractor units per attractor time.
float3 flow(float3 p) {
    return sin(p.yzx) - DAMPING * p;
}

__kernel void flowparticles(__global float4* pos, __global float4* col, float dt, float t) {
    const uint i = get_global_id(0);
    const float4 p = pos[i];
    const float h = dt * PACE;
    float3 x = p.xyz / SCALE;

    // One classic Runge-Kutta step.
    const float3 k1 = flow(x);
    const float3 k2 = flow(x + 0.5f * h * k1);
    const float3 k3 = flow(x + 0.5f * h * k2);
    const float3 k4 = flow(x + h * k3);
    float3 v = (k1 + 2.0f * k2 + 2.0f * k3 + k4) / 6.0f;
    x += h * v;

    float age = p.w + dt;
    const float life = 5.0f + 6.0f * unit(3u * i + 1u);
    if (age > life || dot(x, x) > 400.0f) {
        const uint seed = hash(i + 7919u * (uint)(t / dt + 0.5f));
        x = ((float3)(unit(seed), unit(seed + 1u), unit(seed + 2u)) * 20.0f - 10.0f) / SCALE;
        age = 0.0f;
        v = flow(x);
    }
    pos[i] = (float4)(x * SCALE, age);

    const float s = clamp(length(v) / 1.4f, 0.0f, 1.0f);
    const float3 slow = (float3)(0.12f, 0.2f, 1.0f);
    const float3 middle = (float3)(0.15f, 0.85f, 0.9f);
    const float3 fast = (float3)(1.0f, 0.5f, 0.15f);
    const float3 colour = mix(mix(slow, middle, smoothstep(0.1f, 0.5f, s)), fast, smoothstep(0.5f, 0.9f, s));
    // Newborns fade in over a second, and the old fade out over their last one.
    const float brightness = clamp(age, 0.0f, 1.0f) * clamp(life - age, 0.0f, 1.0f);
    col[i] = (float4)(colour, brightness);
}
