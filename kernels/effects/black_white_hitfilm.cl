#include "bgra_image.cl"

// gray = sat(trunc(b 0.114) wB + trunc(g 0.587) wG + trunc(r 0.299) wR), each weight the product of
// three squared sliders around the channel's hue; the effect builds it for every triple of luma
// terms (gray_table[(tb 150 + tg) 77 + tr]), so the kernel looks the sum up.
__kernel void video_effect_black_white_hitfilm(__read_only image2d_t src, __write_only image2d_t dst,
                                               __global const uchar* gray_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int tb = p.x * 57 / 500, tg = p.y * 587 / 1000, tr = p.z * 299 / 1000;
    int gray = gray_table[(tb * 150 + tg) * 77 + tr];
    store_bgra(dst, x, y, (int4)(gray, gray, gray, p.w));
}
