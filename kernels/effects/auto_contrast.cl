#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "levels.cl"

__kernel void video_effect_auto_contrast(__read_only image2d_t src, __write_only image2d_t dst, int gray_min,
                                         int gray_max, int alpha) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_weight(alpha);
    p.x = mix(stretch(p.x, gray_min, gray_max), p.x, k);
    p.y = mix(stretch(p.y, gray_min, gray_max), p.y, k);
    p.z = mix(stretch(p.z, gray_min, gray_max), p.z, k);
    store_bgra(dst, x, y, p);
}
