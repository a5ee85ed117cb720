#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"
#include "hls8.cl"
#include "channel_tables.cl"

// One program serves two effects under one key: mode 0 is the per-channel gain through the
// frame's tables m_b, m_g, m_r (out_c = sat(rint(in_c * ratio_c)), built by the effect), mode 1 the hue, lightness and saturation balance on 8-bit
// HLS. Each effect passes every argument, the other effect's at neutral values.
int4 hls_balance(int4 p, float hue, float lightness, float saturation) {
    int3 hls = bgr_to_hls8(p.x, p.y, p.z);
    bool lighten = lightness > 1e-6f;
    int hueShift = (int)(hue * 0.5f);
    float satScale = (float)saturation * (float)0.01 + 1;
    float l = (float)lightness * (float)0.01;
    int L = sat_rint((lighten ? 255 - hls.y : hls.y) * l + hls.y);
    float mx = max(max(p.x, p.y), p.z) * (1.0f / 255.0f), mn = min(min(p.x, p.y), p.z) * (1.0f / 255.0f);
    float delta = (float)mx - (float)mn;
    // A zero denominator only comes with L' at 0 or 255 (or a gray pixel): saturation 0 there.
    float s0;
    if (L < 128) {
        if (lighten) {
            s0 = L > 0 ? delta / (2 * L) * 255 * 255 : 0;
        } else {
            float sum = (float)mx + mn;
            s0 = sum > 0 ? delta / sum * 255 : 0;
        }
    } else if (lighten) {
        float rest = (float)2 - mx - mn;
        s0 = rest > 0 ? delta / rest * 255 : 0;
    } else {
        // 32385 = 127 * 255.
        s0 = L < 255 ? delta * 32385 / (255 - L) : 0;
    }
    int H = hls.x + hueShift;
    if (H >= 180) H -= 180;
    int S = sat_rint(trunc(s0 + (float)0.5) * satScale);
    int3 bgr = hls8_to_bgr(H, L, S);
    return (int4)(bgr.x, bgr.y, bgr.z, p.w);
}

__kernel void video_effect_color_banlance(__read_only image2d_t src, __write_only image2d_t dst,
                                          __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r,
                                          float hue, float lightness, float saturation, int mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    if (mode == 1) {
        p = hls_balance(p, hue, lightness, saturation);
    } else {
        p = map_channels(p, m_b, m_g, m_r);
    }
    store_bgra(dst, x, y, p);
}
