// Assembled from kernels/effects/brightness_contrast.cl and kernels/common/: edit those.
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

// c = trunc(contrast * 2.55 + 0.5), b = trunc(bright + 0.5); k = c / 255 (-1 for c <= -255,
// k / (1 - k) for 1 <= c <= 254); v = c > 0 ? sat(i + b) : i;
// w = c >= 255 ? (v >= 127 ? 255 : 0) : sat(rint((v - 127) k + v + 0.5)); c <= 0: w = sat(w + b).
int brightness_contrast(int i, int c, int b, real k) {
    int v = c > 0 ? sat(i + b) : i;
    int w = c >= 255 ? (v >= 127 ? 255 : 0) : sat_rint((v - 127) * k + v + (real)0.5);
    return c <= 0 ? sat(w + b) : w;
}

__kernel void video_effect_brightness_contrast(__read_only image2d_t src, __write_only image2d_t dst,
                                               float bright, float contrast) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int c = (int)((real)contrast * (real)2.55 + (real)0.5);
    int b = (int)((real)bright + (real)0.5);
    if (c != 0 || b != 0) {
        real k = c / (real)255;
        if (c <= -255) k = -1;
        if (c >= 1 && c <= 254) k = k / (1 - k);
        p.x = brightness_contrast(p.x, c, b, k);
        p.y = brightness_contrast(p.y, c, b, k);
        p.z = brightness_contrast(p.z, c, b, k);
    }
    store_bgra(dst, x, y, p);
}
