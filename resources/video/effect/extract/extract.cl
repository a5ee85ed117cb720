// Assembled from kernels/effects/extract.cl and kernels/common/: edit those.
#pragma OPENCL FP_CONTRACT OFF
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// (B, G, R, A) bytes of one pixel.
int4 load_bgra(__read_only image2d_t img, int x, int y) {
    float4 p = read_imagef(img, kNearest, (int2)(x, y)) * 255.0f;
    return convert_int4_sat_rte((float4)(p.z, p.y, p.x, p.w));
}

void store_bgra(__write_only image2d_t img, int x, int y, int4 bgra) {
    float4 v = convert_float4(clamp(bgra, 0, 255)) / 255.0f;
    write_imagef(img, (int2)(x, y), (float4)(v.z, v.y, v.x, v.w));
}

// `real` is the precision of the CPU bodies' double arithmetic where the device has it.
#ifdef cl_khr_fp64
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
#else
typedef float real;
#endif

int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }

// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_real(real v) { return v >= (real)255 ? 255 : (v > (real)0 ? (int)v : 0); }
int sat_rint(real v) { return sat_real(rint(v)); }

// The integer luma: trunc(0.114 B) + trunc(0.587 G) + trunc(0.299 R).
int luma(int b, int g, int r) {
    return (int)((real)b * (real)0.114) + (int)((real)g * (real)0.587) + (int)((real)r * (real)0.299);
}

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
