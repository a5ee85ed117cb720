// Assembled from kernels/effects/auto_color.cl and kernels/common/: edit those.
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

// k = trunc(percent 0.01 255) held to a byte.
int mix_weight(int percent) {
    real k = (real)percent * (real)0.01 * (real)255;
    return k >= (real)255 ? 255 : (k > (real)0 ? (int)k : 0);
}
// M[t][k] + M[c][255 - k]: the mapped byte t mixed with the original c.
int mix(int t, int c, int k) { return mul255(t, k) + mul255(c, 255 - k); }
// 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) from lo to hi, 255 from hi on.
int stretch(int v, int lo, int hi) {
    if (v < lo) return 0;
    if (v < hi) return sat_rint((real)((v - lo) * 255) / (real)(hi - lo));
    return 255;
}

// G[v] = sat(rint(pow(v 0.003922, gamma) 255)), in float.
int gamma_map(int v, float g) { return sat_rint((real)(pow((float)v * 0.003922f, g) * 255.0f)); }

// The stretch t between minVal and maxVal, then sat(rint(pow(t 0.003922, 0.5) 255)); v itself
// when the two are equal.
int curve(int v, int minVal, int maxVal) {
    if (minVal == maxVal) return v;
    int t = v <= minVal ? 0
          : v >= maxVal ? 255
                        : sat_rint((real)(v - minVal) * ((real)1 / (real)(maxVal - minVal)) * (real)255);
    return sat_rint(pow((real)t * (real)0.003922, (real)0.5) * (real)255);
}

__kernel void video_effect_auto_color(__read_only image2d_t src, __write_only image2d_t dst, float blue_gamma,
                                      float green_gamma, float red_gamma, int minVal, int maxVal, int value) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_weight(value);
    p.x = mix(curve(gamma_map(p.x, blue_gamma), minVal, maxVal), p.x, k);
    p.y = mix(curve(gamma_map(p.y, green_gamma), minVal, maxVal), p.y, k);
    p.z = mix(curve(gamma_map(p.z, red_gamma), minVal, maxVal), p.z, k);
    store_bgra(dst, x, y, p);
}
