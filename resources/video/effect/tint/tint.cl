// Assembled from kernels/effects/tint.cl and kernels/common/: edit those.
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

// target = trunc(Y (white - black) / 255 + black) per channel; the byte moves towards it by
// amount: ceil((in - target)(1 - amount / 100) + target), a whole number kept as it is.
int tint_channel(int in, int Y, int black, int white, real keep) {
    int target = sat_real(Y * ((white - black) / (real)255) + black);
    return sat_real(ceil((in - target) * keep + target));
}

__kernel void video_effect_tint(__read_only image2d_t src, __write_only image2d_t dst, int black_red,
                                int black_green, int black_blue, int white_red, int white_green, int white_blue,
                                float amount) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int Y = luma(p.x, p.y, p.z);
    real keep = 1 - (real)amount * (real)0.01;
    p.x = tint_channel(p.x, Y, black_blue, white_blue, keep);
    p.y = tint_channel(p.y, Y, black_green, white_green, keep);
    p.z = tint_channel(p.z, Y, black_red, white_red, keep);
    store_bgra(dst, x, y, p);
}
