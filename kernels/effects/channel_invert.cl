#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"
#include "hls8.cl"

int invert_hue(int h) { return sat(h <= 90 ? 90 - h : 270 - h); }

// The inverted colour P of the selection (0 all, 1..3 red, green, blue, 4..7 in HLS, 8..11 in
// YIQ, 12 black).
int4 invert(int4 p, int selection) {
    int b = p.x, g = p.y, r = p.z;
    if (selection >= 4 && selection <= 7) {
        int3 hls = bgr_to_hls8(b, g, r);
        if (selection == 4 || selection == 5) hls.x = invert_hue(hls.x);
        if (selection == 4 || selection == 6) hls.y = 255 - hls.y;
        if (selection == 4 || selection == 7) hls.z = 255 - hls.z;
        return (int4)(hls8_to_bgr(hls.x, hls.y, hls.z), 0);
    }
    if (selection >= 8 && selection <= 11) {
        float unit = (float)3.92156862745098e-6;
        float Y = (587 * g + 299 * r + 114 * b) * unit;
        float I = (596 * r - 321 * b - 275 * g) * unit;
        float Q = (311 * b - 523 * g + 212 * r) * unit;
        if (selection == 8 || selection == 9) Y = 1 - Y;
        if (selection == 8 || selection == 10) I = -I;
        if (selection == 8 || selection == 11) Q = -Q;
        return (int4)(sat_trunc((Y - (float)1.106 * I + (float)1.703 * Q) * 255),
                      sat_trunc((Y - (float)0.272 * I - (float)0.647 * Q) * 255),
                      sat_trunc((Y + (float)0.956 * I + (float)0.619 * Q) * 255), 0);
    }
    switch (selection) {
    case 0: return (int4)(255 - b, 255 - g, 255 - r, 0);
    case 1: return (int4)(b, g, 255 - r, 0);
    case 2: return (int4)(b, 255 - g, r, 0);
    case 3: return (int4)(255 - b, g, r, 0);
    default: return (int4)(0, 0, 0, 0);
    }
}

// P' = M[I][k] + M[P][255 - k] with k = trunc(alpha_blend * 2.55), then each colour byte times
// the pixel's alpha.
__kernel void video_effect_channel_invert(__read_only image2d_t src, __write_only image2d_t dst, int channel_index,
                                          int alpha_blend) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int4 inv = invert(p, channel_index);
    int k = clamp(alpha_blend, 0, 100) * 255 / 100;  // trunc(alpha_blend 0.01 255), exact in integers
    int4 out;
    out.x = mul255(mul255(p.x, k) + mul255(inv.x, 255 - k), p.w);
    out.y = mul255(mul255(p.y, k) + mul255(inv.y, 255 - k), p.w);
    out.z = mul255(mul255(p.z, k) + mul255(inv.z, 255 - k), p.w);
    out.w = p.w;
    store_bgra(dst, x, y, out);
}
