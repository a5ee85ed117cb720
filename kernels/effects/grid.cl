// Grid: lines of the pattern colour every cell, centred on the anchor, laid over the frame.
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

// A row (or column) at distance d + floor(T/2) from the anchor is on line i when
// i cell <= d < i cell + T for some i in [0, lines).
int on_line(int p, int anchor, int cell, int thickness, int lines) {
    long d = abs((long)p - (long)anchor) + thickness / 2;
    long last = min((long)lines - 1, d / cell);
    long first = d - thickness < 0 ? 0 : (d - thickness) / cell + 1;
    return first <= last;
}

// The grid mask, box-blurred feather_w wide then feather_h high (reflect-101, each pass rounded
// as (sum + size / 2) / size). A row on a line is uniform, so the horizontal pass of any row is
// either the line value or one mix fixed by the columns under the window.
__kernel void video_effect_grid(__read_only image2d_t src, __write_only image2d_t dst, int anchor_x, int anchor_y,
                                int cell_w, int cell_h, int thickness, int lines_h, int lines_v, int reverse_value,
                                int feather_w, int feather_h, uchar color_r, uchar color_g, uchar color_b,
                                int alpha_percent, int blend_mode, __global const uchar* blend_table) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const int line = reverse_value ? 0 : 255, ground = reverse_value ? 255 : 0;
    int covered = 0;
    for (int i = 0; i < feather_w; ++i)
        covered += on_line(reflect101(x + i - feather_w / 2, w), anchor_x, cell_w, thickness, lines_v);
    const int mixed = (covered * line + (feather_w - covered) * ground + feather_w / 2) / feather_w;
    int sum = 0;
    for (int j = 0; j < feather_h; ++j)
        sum += on_line(reflect101(y + j - feather_h / 2, h), anchor_y, cell_h, thickness, lines_h) ? line : mixed;
    const int m = (sum + feather_h / 2) / feather_h;
    const int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y,
               blend_pattern(p, m, (int3)(color_b, color_g, color_r), opacity_byte(alpha_percent), blend_mode, 0,
                             blend_table));
}
