#include "bgra_image.cl"

// The effect builds the frame's table (pow per byte value once, on the host); every channel maps
// through it, so the kernel is one lookup per channel.
__kernel void video_effect_gamma_correction(__read_only image2d_t src, __write_only image2d_t dst,
                                            __constant uchar* gamma_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y, (int4)(gamma_table[p.x], gamma_table[p.y], gamma_table[p.z], p.w));
}
