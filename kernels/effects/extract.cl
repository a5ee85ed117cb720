#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

// Toward zero, held inside +-2^40; NaN gives 0.
long trunc_held(real v) {
    const real limit = (real)1099511627776.0;
    if (!(v == v)) return 0;
    return (long)clamp(v, -limit, limit);
}

real nonzero(long v) { return (real)(v == 0 ? 1 : v); }

// The soft luma key of the CPU body, step for step.
int key(int Y, int black_level, int white_level, int softness) {
    long b = black_level, w = white_level;
    real s = (real)softness * (real)0.01;
    long mid = (b + w) >> 1;
    real half_range = (real)(w - b) * (real)0.5;
    real d = half_range * s;
    long lo = trunc_held((real)b - d), hi = trunc_held((real)w + d);
    long L = clamp(lo, 0L, 255L), H = clamp(hi, 0L, 255L);
    long e = trunc_held(((real)1 - s) * half_range);
    long a = mid - e, z = mid + e;
    real V = lo < 1 ? (real)a * (real)255 / nonzero(a - lo) : (real)255;
    real V2 = hi >= 255 ? (real)(255 - z) * (real)255 / nonzero(hi - z) : (real)255;
    real rise = V / nonzero(a - L), fall = V2 / nonzero(H - z);
    if (Y < L || Y > H) return 0;
    if (Y < a) return sat_rint((real)Y * rise + V - (real)a * rise);
    if (Y > z) return sat_rint((real)Y * -fall + V2 + (real)z * fall);
    return 255;
}

__kernel void video_effect_extract(__read_only image2d_t src, __write_only image2d_t dst, int black_level,
                                   int white_level, int softness, int reverse_flag) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int v = key(luma(p.x, p.y, p.z), black_level, white_level, softness);
    if (reverse_flag) v = 255 - v;
    store_bgra(dst, x, y, (int4)(v, v, v, p.w));
}
