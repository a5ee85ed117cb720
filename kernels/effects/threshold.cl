#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "saturate_float.cl"

// The image library's gray: 0.114, 0.587, 0.299 in 15-bit fixed point, rounded.
int library_gray(int b, int g, int r) { return (b * 3735 + g * 19235 + r * 9798 + 16384) >> 15; }

__kernel void video_effect_threshold(__read_only image2d_t src, __write_only image2d_t dst, int threshold) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int v = library_gray(p.x, p.y, p.z) < threshold ? 0 : 255;
    store_bgra(dst, x, y, (int4)(v, v, v, p.w));
}
