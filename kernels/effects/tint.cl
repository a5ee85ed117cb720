#include "bgra_image.cl"
#include "luma.cl"

// The effect builds the frame's tables: target[c][Y], each channel's black-to-white ramp, and
// mix_table[in][t], the byte moved towards t by amount (ceil((in - t)(1 - amount / 100) + t)).
__kernel void video_effect_tint(__read_only image2d_t src, __write_only image2d_t dst, __constant uchar* target,
                                __global const uchar* mix_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int Y = luma(p.x, p.y, p.z);
    p.x = mix_table[p.x * 256 + target[Y]];
    p.y = mix_table[p.y * 256 + target[256 + Y]];
    p.z = mix_table[p.z * 256 + target[512 + Y]];
    store_bgra(dst, x, y, p);
}
