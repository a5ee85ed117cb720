#include "bgra_image.cl"

// The effect builds the frame's table from bright and contrast (the identity when both round to
// 0); every colour channel maps through it.
__kernel void video_effect_brightness_contrast(__read_only image2d_t src, __write_only image2d_t dst,
                                               __constant uchar* bc_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y, (int4)(bc_table[p.x], bc_table[p.y], bc_table[p.z], p.w));
}
