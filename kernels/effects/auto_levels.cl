#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "levels.cl"

__kernel void video_effect_auto_levels(__read_only image2d_t src, __write_only image2d_t dst, int red_min, int red_max,
                                       int green_min, int green_max, int blue_min, int blue_max, int value) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_weight(value);
    p.x = mix(stretch(p.x, blue_min, blue_max), p.x, k);
    p.y = mix(stretch(p.y, green_min, green_max), p.y, k);
    p.z = mix(stretch(p.z, red_min, red_max), p.z, k);
    store_bgra(dst, x, y, p);
}
