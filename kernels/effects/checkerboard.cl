// Checkerboard: cells of the pattern colour around the anchor, laid over the frame.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways). Float arithmetic follows the CPU body operation by
// operation, unfused, so both bodies round alike.
#pragma OPENCL FP_CONTRACT OFF

#include "bgra_image.cl"
#include "saturate_float.cl"
#include "fast_inv_sqrt.cl"
#include "reflect101.cl"
#include "pattern.cl"
#include "pattern_blend.cl"

// The parity of |p - anchor| / cell plus the side term; a pixel is covered when its row's and its
// column's parities differ.
int parity(int p, int anchor, int cell, int side) {
    return (int)((abs((long)p - (long)anchor) / cell + side) & 1);
}

// The checker mask, box-blurred feather_w wide then feather_h high (reflect-101, each pass rounded
// as (sum + size / 2) / size): the horizontal pass of a row depends only on its parity.
__kernel void video_effect_checkerboard(__read_only image2d_t src, __write_only image2d_t dst, int anchor_x,
                                        int anchor_y, int cell_w, int cell_h, int feather_w, int feather_h,
                                        uchar color_r, uchar color_g, uchar color_b, int alpha_percent,
                                        int blend_mode, __global const uchar* blend_table) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    int odd = 0;
    for (int i = 0; i < feather_w; ++i) {
        const int xx = reflect101(x + i - feather_w / 2, w);
        odd += parity(xx, anchor_x, cell_w, xx <= anchor_x);
    }
    // Rows of parity 0 cover the odd columns, rows of parity 1 the even ones.
    const int even_row = (odd * 255 + feather_w / 2) / feather_w;
    const int odd_row = ((feather_w - odd) * 255 + feather_w / 2) / feather_w;
    int sum = 0;
    for (int j = 0; j < feather_h; ++j) {
        const int yy = reflect101(y + j - feather_h / 2, h);
        sum += parity(yy, anchor_y, cell_h, yy > anchor_y) ? odd_row : even_row;
    }
    const int m = (sum + feather_h / 2) / feather_h;
    const int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y,
               blend_pattern(p, m, (int3)(color_b, color_g, color_r), opacity_byte(alpha_percent), blend_mode, 0,
                             blend_table));
}
