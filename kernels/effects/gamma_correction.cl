#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

// T[i] = min(255, trunc(pow(i * 0.003922, gamma) * 255 + 0.5)); pow(0, 0) = 1.
int gamma_map(int i, real g) { return min(255, (int)(pow((real)i * (real)0.003922, g) * 255 + (real)0.5)); }

__kernel void video_effect_gamma_correction(__read_only image2d_t src, __write_only image2d_t dst, float gamma) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    real g = gamma;
    p.x = gamma_map(p.x, g);
    p.y = gamma_map(p.y, g);
    p.z = gamma_map(p.z, g);
    store_bgra(dst, x, y, p);
}
