// Assembled from kernels/effects/adjust_levels.cl and kernels/common/: edit those.
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

// The gray level's exponent: E[127] is about 1, E[0] = 0.1, E[255] about 12.6.
real levels_exponent(int j) {
    real x = j < 128 ? j * (real)0.0053840335 : (j - 127) * (real)0.019919859276649923 + (real)0.68377223398334;
    return (x + (real)0.31622776) * (x + (real)0.31622776);
}

// L[v] of one group: input range, gray curve, output range. Levels are used as bytes; equal input
// black and white take the factor 1.
int levels_map(int v, int ib, int iw, int ob, int ow, int gray) {
    ib &= 255;
    iw &= 255;
    ob &= 255;
    ow &= 255;
    real e = levels_exponent(sat_real((1 - gray / (real)200) * 255));
    int t = v < ib ? 0 : (v <= iw ? (ib == iw ? sat_rint((real)(v - ib)) : sat_rint((v - ib) * (real)255 / (iw - ib))) : 255);
    int g = sat_rint(pow(t / (real)255, e) * 255);
    return sat_rint(g * (ow - ob) / (real)255 + ob);
}

__kernel void video_effect_adjust_levels(__read_only image2d_t src, __write_only image2d_t dst,
    int rgb_input_black_level, int rgb_input_white_level, int rgb_output_black_level, int rgb_output_white_level,
    int rgb_gray_level, int red_input_black_level, int red_input_white_level, int red_output_black_level,
    int red_output_white_level, int red_gray_level, int green_input_black_level, int green_input_white_level,
    int green_output_black_level, int green_output_white_level, int green_gray_level, int blue_input_black_level,
    int blue_input_white_level, int blue_output_black_level, int blue_output_white_level, int blue_gray_level) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    // out_c = L_rgb[L_c[in_c]]
    int b = levels_map(p.x, blue_input_black_level, blue_input_white_level, blue_output_black_level,
                       blue_output_white_level, blue_gray_level);
    int g = levels_map(p.y, green_input_black_level, green_input_white_level, green_output_black_level,
                       green_output_white_level, green_gray_level);
    int r = levels_map(p.z, red_input_black_level, red_input_white_level, red_output_black_level,
                       red_output_white_level, red_gray_level);
    p.x = levels_map(b, rgb_input_black_level, rgb_input_white_level, rgb_output_black_level, rgb_output_white_level,
                     rgb_gray_level);
    p.y = levels_map(g, rgb_input_black_level, rgb_input_white_level, rgb_output_black_level, rgb_output_white_level,
                     rgb_gray_level);
    p.z = levels_map(r, rgb_input_black_level, rgb_input_white_level, rgb_output_black_level, rgb_output_white_level,
                     rgb_gray_level);
    store_bgra(dst, x, y, p);
}
