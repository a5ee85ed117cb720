#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "saturate_float.cl"
#include "hls8.cl"

// 8-bit HLS as the image library computes it (H in 0..180, L and S in 0..255), in the form of its
// vectorised conversion: the saturation divides by 2 - (max + min) and the hue is one fused
// multiply-add with its offset. Written so, it equals the library's result for every 8-bit colour
// (checked on all 2^24 of them); the lightness then passes through Q, which would widen any
// one-step difference.
int3 bgr_to_hls8_vectorised(int b, int g, int r) {
    float fb = b * (1.0f / 255.0f), fg = g * (1.0f / 255.0f), fr = r * (1.0f / 255.0f);
    float vmax = fmax(fmax(fr, fg), fb), vmin = fmin(fmin(fr, fg), fb);
    float diff = vmax - vmin, msum = vmax + vmin, l = msum * 0.5f, h = 0.0f, s = 0.0f;
    if (diff > FLT_EPSILON) {
        s = l < 0.5f ? diff / msum : diff / (2.0f - msum);
        diff = 60.0f / diff;
        if (vmax == fr) {
            h = (fg - fb) * diff;
            if (h < 0.0f) h = fma(fg - fb, diff, 360.0f);
        } else if (vmax == fg) {
            h = fma(fb - fr, diff, 120.0f);
        } else {
            h = fma(fr - fg, diff, 240.0f);
        }
        if (h < 0.0f) h += 360.0f;
    }
    return (int3)(sat(convert_int_rte(h * 0.5f)), sat(convert_int_rte(l * 255.0f)), sat(convert_int_rte(s * 255.0f)));
}

// trunc(c (1 - s) + q s) in float, the mix of both modes.
int mix_grain(int c, int q, float s) { return clamp((int)((float)c * (1.0f - s) + (float)q * s), 0, 255); }

// equalize_grain and mode are integers passed with the float type code: their bits are read
// back as int, not converted.
__kernel void video_effect_equalizer(__read_only image2d_t src, __write_only image2d_t dst,
                                     __constant int* cdf_table, float equalize_grain, float mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int grain = as_int(equalize_grain), m = as_int(mode);
    int4 p = load_bgra(src, x, y);
    if (grain != 0) {
        float s = (float)grain * 0.01f;
        int4 e;
        if (m == 0) {
            e = (int4)(cdf_table[p.x], cdf_table[p.y], cdf_table[p.z], 0);
        } else {
            int3 hls = bgr_to_hls8_vectorised(p.x, p.y, p.z);
            e = (int4)(hls8_to_bgr(hls.x, cdf_table[clamp(hls.y, 0, 255)], hls.z), 0);
        }
        p.x = mix_grain(p.x, e.x, s);
        p.y = mix_grain(p.y, e.y, s);
        p.z = mix_grain(p.z, e.z, s);
    }
    store_bgra(dst, x, y, p);
}
