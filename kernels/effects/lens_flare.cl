// Lens flare: light around the light position and its reflections through the frame centre.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways). Float arithmetic follows the CPU body operation by
// operation, unfused, so both bodies round alike.
#pragma OPENCL FP_CONTRACT OFF

#include "bgra_image.cl"
#include "saturate_float.cl"
#include "fast_inv_sqrt.cl"
#include "pattern.cl"

// A component's factor at distance d; types: 0 squared disc, 1 linear disc, 2 halo ring,
// 3 disc with a soft rim, 4 disc brightest near its rim, 5 thin ring.
float flare_factor(int type, float s, float d) {
    if (type == 0) {
        if (!(d < s)) return 0.0f;
        const float u = 1.0f - d / s;
        return u * u;
    }
    if (type == 1) return d < s ? 1.0f - d / s : 0.0f;
    if (type == 2 || type == 5) {
        const float q = fabs(d - s) / ((type == 2 ? 0.07f : 0.04f) * s);
        return q < 1.0f ? 1.0f - q : 0.0f;
    }
    if (type == 3) return fmin(1.0f, (s - d) / (0.15f * s));
    const float u = (s - d) / (0.12f * s);
    if (!(u > 0.0f)) return 0.0f;
    return u <= 1.0f ? u : 1.0f - 0.12f * u;
}

// The input plus the light of every component in table order: c = trunc(c + (255 - c) f k_c).
// components: eight floats each (x, y, size, type, k_R, k_G, k_B, reach). A pixel at or beyond a
// component's reach (which allows for the fast distance's error) gets no light from it; the squared
// distance tells that without the division, and the CPU body passes over the same pixels.
__kernel void video_effect_lens_flare(__read_only image2d_t src, __write_only image2d_t dst,
                                      __global const float* components) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    for (int i = 0; i < 24; ++i) {
        __global const float* c = components + 8 * i;
        if (!(c[2] > 0.0f)) continue;
        const float dx = (float)x - c[0], dy = (float)y - c[1];
        if (!(dx * dx + dy * dy < c[7] * c[7])) continue;
        const float d = distance_to(dx, dy);
        const float f = flare_factor((int)c[3], c[2], d);
        if (!(f > 0.0f)) continue;
        p.x = (int)((float)p.x + (float)(255 - p.x) * f * c[6]);
        p.y = (int)((float)p.y + (float)(255 - p.y) * f * c[5]);
        p.z = (int)((float)p.z + (float)(255 - p.z) * f * c[4]);
    }
    store_bgra(dst, x, y, p);
}
