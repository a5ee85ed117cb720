// Four-colour gradient: four coloured points fading to mid-gray, laid over the frame by blend mode.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways). Float arithmetic follows the CPU body operation by
// operation, unfused, so both bodies round alike.
#pragma OPENCL FP_CONTRACT OFF

#include "bgra_image.cl"
#include "saturate_float.cl"
#include "fast_inv_sqrt.cl"
#include "hls8.cl"
#include "pattern.cl"

// The gradient pixel: each point within its reach R_i (its farthest frame corner) fades from its
// colour to mid-gray 128 with weight 255 (1 - t), t = d / max(R, 1); the weighted mean of the four.
// The points and their reaches are the frame's, worked out once by the effect as for the CPU body:
// points[i] = (x, y), reaches[i] = (R, max(R, 1)).
int3 gradient_at(int x, int y, __constant int2* points, __constant float2* reaches, const int3* colors) {
    int acc[3] = {0, 0, 0};
    int weights = 0;
    for (int i = 0; i < 4; ++i) {
        const float d = distance_to((float)(x - points[i].x), (float)(y - points[i].y));
        if (!(d < reaches[i].x)) continue;
        const float t = d / reaches[i].y;
        const int wt = sat_rint(255.0f - 255.0f * t);
        weights += wt;
        const int c3[3] = {colors[i].x, colors[i].y, colors[i].z};
        for (int c = 0; c < 3; ++c) {
            const int L = sat_rint((float)c3[c] + (float)(128 - c3[c]) * t);
            acc[c] += wt * L;
        }
    }
    const float divisor = (float)max(weights, 1);
    return (int3)(sat_rint((float)acc[0] / divisor), sat_rint((float)acc[1] / divisor), sat_rint((float)acc[2] / divisor));
}

// blend_mode 0: the gradient scaled by the opacity; 1: normal over the frame (premultiplied);
// 2..13: the blend table's mode; 14..17: the frame's HLS with the gradient's hue, saturation, both
// or lightness. The gradient's alpha is the frame's, and the frame keeps its alpha in every mode.
__kernel void video_effect_4_color_gradient(__read_only image2d_t src, __write_only image2d_t dst,
                                            uchar color1_b, uchar color1_g, uchar color1_r, uchar color2_b,
                                            uchar color2_g, uchar color2_r, uchar color3_b, uchar color3_g,
                                            uchar color3_r, uchar color4_b, uchar color4_g, uchar color4_r,
                                            __constant int2* points, __constant float2* reaches,
                                            int alpha_percent, int blend_mode, __global const uchar* blend_table) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const int3 colors[4] = {(int3)(color1_b, color1_g, color1_r), (int3)(color2_b, color2_g, color2_r),
                            (int3)(color3_b, color3_g, color3_r), (int3)(color4_b, color4_g, color4_r)};
    const int3 g = gradient_at(x, y, points, reaches, colors);
    const int k0 = opacity_byte(alpha_percent);
    int4 p = load_bgra(src, x, y);
    const int mode = clamp(blend_mode, 0, 17);
    const int o[4] = {g.x, g.y, g.z, p.w};
    int d[4] = {p.x, p.y, p.z, p.w};
    if (mode == 0) {
        for (int c = 0; c < 3; ++c) d[c] = mul255(o[c], k0);
    } else if (mode <= 13) {
        if (o[3] != 0) {
            const int a = mul255(o[3], k0), inv = 255 - a;
            if (mode == 1) {
                for (int c = 0; c < 3; ++c) d[c] = min(255, mul255(d[c], inv) + mul255(o[c], k0));
            } else {
                for (int c = 0; c < 3; ++c) d[c] = mul255(blend_table[d[c] * 256 + o[c]], a) + mul255(d[c], inv);
            }
        }
    } else {
        const int3 P = hls_replace(p, bgr_to_hls8(g.x, g.y, g.z), mode - 14);
        const int q[3] = {P.x, P.y, P.z};
        for (int c = 0; c < 3; ++c) d[c] = mul255(q[c], k0) + mul255(d[c], 255 - k0);
    }
    store_bgra(dst, x, y, (int4)(d[0], d[1], d[2], d[3]));
}
