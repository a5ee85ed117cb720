#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"

// D = 3 dB^2 + 4 dG^2 + 2 dR^2 against the pass colour, theta = 36 similar^2: pixels farther than
// theta turn gray (nearer ones with "reverse"); D = theta keeps its colour either way.
__kernel void video_effect_color_pass(__read_only image2d_t src, __write_only image2d_t dst, uchar pass_r,
                                      uchar pass_g, uchar pass_b, int reverse, int similar) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int db = p.x - pass_b, dg = p.y - pass_g, dr = p.z - pass_r;
    int D = 3 * db * db + 4 * dg * dg + 2 * dr * dr;
    int theta = 36 * similar * similar;
    if (reverse ? D < theta : D > theta) {
        int Y = luma(p.x, p.y, p.z);
        p = (int4)(Y, Y, Y, p.w);
    }
    store_bgra(dst, x, y, p);
}
