// Assembled from kernels/effects/auto_levels.cl and kernels/common/: edit those.
#pragma OPENCL FP_CONTRACT OFF
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// (B, G, R, A) bytes of one pixel. The samples lie in 0..1: +0.5 and truncation round them with no
// saturating conversion, which costs a CPU device (PoCL) about as much as the copy of the pixel.
int4 load_bgra(__read_only image2d_t img, int x, int y) {
    float4 p = read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f;
    return convert_int4((float4)(p.z, p.y, p.x, p.w));
}

void store_bgra(__write_only image2d_t img, int x, int y, int4 bgra) {
    float4 v = convert_float4(clamp(bgra, 0, 255)) / 255.0f;
    write_imagef(img, (int2)(x, y), (float4)(v.z, v.y, v.x, v.w));
}

int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }

// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_trunc(float v) { return v >= 255.0f ? 255 : (v > 0.0f ? (int)v : 0); }
// rint (ties to even), then clamped; NaN gives 0.
int sat_rint(float v) { return sat_trunc(rint(v)); }

// k = trunc(percent 0.01 255) held to a byte, in integers: the same byte for every percentage.
int mix_weight(int percent) { return percent >= 100 ? 255 : (percent > 0 ? percent * 255 / 100 : 0); }
// M[t][k] + M[c][255 - k]: the mapped byte t mixed with the original c.
int mix(int t, int c, int k) { return mul255(t, k) + mul255(c, 255 - k); }
// 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) from lo to hi, 255 from hi on. The quotient is
// never within 1/510 of a half but at one, so single precision rounds it as the CPU body does.
int stretch(int v, int lo, int hi) {
    if (v < lo) return 0;
    if (v < hi) return sat_rint((float)((v - lo) * 255) / (float)(hi - lo));
    return 255;
}

__kernel void video_effect_auto_levels(__read_only image2d_t src, __write_only image2d_t dst, int red_min, int red_max,
                                       int green_min, int green_max, int blue_min, int blue_max, int value) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_weight(value);
    p.x = mix(stretch(p.x, blue_min, blue_max), p.x, k);
    p.y = mix(stretch(p.y, green_min, green_max), p.y, k);
    p.z = mix(stretch(p.z, red_min, red_max), p.z, k);
    store_bgra(dst, x, y, p);
}
