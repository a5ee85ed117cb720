#include "bgra_image.cl"
#include "luma.cl"

// The effect builds the frame's soft luma key (reversed when asked) as a table of the luma.
__kernel void video_effect_extract(__read_only image2d_t src, __write_only image2d_t dst, __constant uchar* key_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int v = key_table[luma(p.x, p.y, p.z)];
    store_bgra(dst, x, y, (int4)(v, v, v, p.w));
}
