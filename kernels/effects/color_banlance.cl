#include "bgra_image.cl"
#include "hls8.cl"
#include "channel_tables.cl"

// One program serves two effects under one key: mode 0 is the per-channel gain through the
// frame's tables m_b, m_g, m_r (out_c = sat(rint(in_c * ratio_c)), built by the effect), mode 1 the
// hue, lightness and saturation balance on 8-bit HLS. Each effect passes every argument, the other
// effect's at neutral values.
//
// In mode 1 the new lightness and saturation depend on the pixel through its largest and smallest
// channel alone, so the effect hands them in as the CPU body's own per-frame table, ls_table[max *
// 256 + min] = (L', S'); the kernel turns the hue by trunc(hue / 2) and converts back.
int4 hls_balance(int4 p, float hue, __global const uchar2* ls_table) {
    const int mx = max(max(p.x, p.y), p.z), mn = min(min(p.x, p.y), p.z);
    const uchar2 ls = ls_table[mx * 256 + mn];
    int H = bgr_to_hls8(p.x, p.y, p.z).x + (int)(hue * 0.5f);
    if (H >= 180) H -= 180;
    const int3 bgr = hls8_to_bgr(H, ls.x, ls.y);
    return (int4)(bgr.x, bgr.y, bgr.z, p.w);
}

__kernel void video_effect_color_banlance(__read_only image2d_t src, __write_only image2d_t dst,
                                          __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r,
                                          __global const uchar2* ls_table, float hue, int mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    if (mode == 1) {
        p = hls_balance(p, hue, ls_table);
    } else {
        p = map_channels(p, m_b, m_g, m_r);
    }
    store_bgra(dst, x, y, p);
}
