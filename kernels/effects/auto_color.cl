#pragma OPENCL FP_CONTRACT OFF
#include "bgra_image.cl"
#include "levels.cl"

// G[v] = sat(rint(pow(v 0.003922, gamma) 255)), in float.
int gamma_map(int v, float g) { return sat_rint((real)(pow((float)v * 0.003922f, g) * 255.0f)); }

// The stretch t between minVal and maxVal, then sat(rint(pow(t 0.003922, 0.5) 255)); v itself
// when the two are equal.
int curve(int v, int minVal, int maxVal) {
    if (minVal == maxVal) return v;
    int t = v <= minVal ? 0
          : v >= maxVal ? 255
                        : sat_rint((real)(v - minVal) * ((real)1 / (real)(maxVal - minVal)) * (real)255);
    return sat_rint(pow((real)t * (real)0.003922, (real)0.5) * (real)255);
}

__kernel void video_effect_auto_color(__read_only image2d_t src, __write_only image2d_t dst, float blue_gamma,
                                      float green_gamma, float red_gamma, int minVal, int maxVal, int value) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_weight(value);
    p.x = mix(curve(gamma_map(p.x, blue_gamma), minVal, maxVal), p.x, k);
    p.y = mix(curve(gamma_map(p.y, green_gamma), minVal, maxVal), p.y, k);
    p.z = mix(curve(gamma_map(p.z, red_gamma), minVal, maxVal), p.z, k);
    store_bgra(dst, x, y, p);
}
