#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"

// Pixels nearer than theta = 36 similar^2 to the target (D = 3 dB^2 + 4 dG^2 + 2 dR^2) take the
// replacement colour, solid or shaded by the pixel's luma (M[Y][c]).
__kernel void video_effect_color_replace(__read_only image2d_t src, __write_only image2d_t dst, uchar target_r,
                                         uchar target_g, uchar target_b, uchar replace_r, uchar replace_g,
                                         uchar replace_b, int soild_flag, int similar) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int db = p.x - target_b, dg = p.y - target_g, dr = p.z - target_r;
    if (3 * db * db + 4 * dg * dg + 2 * dr * dr < 36 * similar * similar) {
        int Y = luma(p.x, p.y, p.z);
        p.x = soild_flag ? replace_b : mul255(Y, replace_b);
        p.y = soild_flag ? replace_g : mul255(Y, replace_g);
        p.z = soild_flag ? replace_r : mul255(Y, replace_r);
    }
    store_bgra(dst, x, y, p);
}
