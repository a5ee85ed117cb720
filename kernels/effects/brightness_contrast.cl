#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

// c = trunc(contrast * 2.55 + 0.5), b = trunc(bright + 0.5); k = c / 255 (-1 for c <= -255,
// k / (1 - k) for 1 <= c <= 254); v = c > 0 ? sat(i + b) : i;
// w = c >= 255 ? (v >= 127 ? 255 : 0) : sat(rint((v - 127) k + v + 0.5)); c <= 0: w = sat(w + b).
int brightness_contrast(int i, int c, int b, real k) {
    int v = c > 0 ? sat(i + b) : i;
    int w = c >= 255 ? (v >= 127 ? 255 : 0) : sat_rint((v - 127) * k + v + (real)0.5);
    return c <= 0 ? sat(w + b) : w;
}

__kernel void video_effect_brightness_contrast(__read_only image2d_t src, __write_only image2d_t dst,
                                               float bright, float contrast) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int c = (int)((real)contrast * (real)2.55 + (real)0.5);
    int b = (int)((real)bright + (real)0.5);
    if (c != 0 || b != 0) {
        real k = c / (real)255;
        if (c <= -255) k = -1;
        if (c >= 1 && c <= 254) k = k / (1 - k);
        p.x = brightness_contrast(p.x, c, b, k);
        p.y = brightness_contrast(p.y, c, b, k);
        p.z = brightness_contrast(p.z, c, b, k);
    }
    store_bgra(dst, x, y, p);
}
