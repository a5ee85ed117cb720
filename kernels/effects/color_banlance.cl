#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"
#include "hls8.cl"

// One program serves two effects under one key: mode 0 is the per-channel gain
// (out_c = sat(rint(in_c * ratio_c))), mode 1 the hue, lightness and saturation balance on 8-bit
// HLS. Each effect passes every argument, the other effect's at neutral values.
int4 hls_balance(int4 p, float hue, float lightness, float saturation) {
    int3 hls = bgr_to_hls8(p.x, p.y, p.z);
    bool lighten = lightness > 1e-6f;
    int hueShift = (int)(hue * 0.5f);
    real satScale = (real)saturation * (real)0.01 + 1;
    real l = (real)lightness * (real)0.01;
    int L = sat_rint((lighten ? 255 - hls.y : hls.y) * l + hls.y);
    float mx = max(max(p.x, p.y), p.z) * (1.0f / 255.0f), mn = min(min(p.x, p.y), p.z) * (1.0f / 255.0f);
    real delta = (real)mx - (real)mn;
    // A zero denominator only comes with L' at 0 or 255 (or a gray pixel): saturation 0 there.
    real s0;
    if (L < 128) {
        if (lighten) {
            s0 = L > 0 ? delta / (2 * L) * 255 * 255 : 0;
        } else {
            real sum = (real)mx + mn;
            s0 = sum > 0 ? delta / sum * 255 : 0;
        }
    } else if (lighten) {
        real rest = (real)2 - mx - mn;
        s0 = rest > 0 ? delta / rest * 255 : 0;
    } else {
        // 32385 = 127 * 255.
        s0 = L < 255 ? delta * 32385 / (255 - L) : 0;
    }
    int H = hls.x + hueShift;
    if (H >= 180) H -= 180;
    int S = sat_rint(trunc(s0 + (real)0.5) * satScale);
    int3 bgr = hls8_to_bgr(H, L, S);
    return (int4)(bgr.x, bgr.y, bgr.z, p.w);
}

__kernel void video_effect_color_banlance(__read_only image2d_t src, __write_only image2d_t dst, float red_ratio,
                                          float green_ratio, float blue_ratio, float hue, float lightness,
                                          float saturation, int mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    if (mode == 1) {
        p = hls_balance(p, hue, lightness, saturation);
    } else {
        p.x = sat_rint(p.x * (real)blue_ratio);
        p.y = sat_rint(p.y * (real)green_ratio);
        p.z = sat_rint(p.z * (real)red_ratio);
    }
    store_bgra(dst, x, y, p);
}
