#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

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
