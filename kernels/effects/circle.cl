// Circle: a disc or ring of the pattern colour, laid over the frame.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways). Float arithmetic follows the CPU body operation by
// operation, unfused, so both bodies round alike.
#pragma OPENCL FP_CONTRACT OFF

#include "bgra_image.cl"
#include "saturate_float.cl"
#include "fast_inv_sqrt.cl"
#include "reflect101.cl"
#include "pattern.cl"
#include "pattern_blend.cl"

// The smooth step: 0 below 1e-6, 1 above 1, (3 - 2u) u^2 between.
float smooth_step(float u) {
    if (u < 1e-6f) return 0.0f;
    if (u > 1.0f) return 1.0f;
    return (3.0f - 2.0f * u) * u * u;
}

// Coverage at distance r: a disc (edge mode 0) with a two-pixel edge at its outer radius, or a
// ring between the radii of the edge mode, each edge softened by its feather.
float circle_coverage(float r, float R, int edge_mode, float t, float feather_outer, float feather_inner) {
    if (edge_mode == 0) {
        const float fo = feather_outer * 0.01f;
        const float Ro = (1.0f + fo) * R, Ri = (1.0f - fo) * R;
        const float a = r - Ro, b = r - Ri;
        float f = 1.0f;
        if (a < 1e-6f && b > 1e-6f) {
            const float s = 1.0f - smooth_step(b / (Ro - Ri + 1e-6f));
            f = s * s;
        }
        const float g = smooth_step(a / 2.0f + 1.0f);
        return (1.0f - g) * f;
    }
    float Ro, Ri;
    if (edge_mode == 1) {
        Ri = fmin(R, t);
        Ro = fmax(R, t);
    } else if (edge_mode == 2) {
        Ri = R - t / 2.0f;
        Ro = R + t / 2.0f;
    } else {
        Ri = R * (1.0f - t * 0.01f);
        Ro = R;
    }
    const float fo = feather_outer * 0.01f, fi = feather_inner;
    const float Ro1 = (1.0f - fo) * Ro, Ro2 = (1.0f + fo) * Ro;
    const float Ri1 = Ri - fi, Ri2 = fmin(Ro2, Ri + fi);
    const float inner = fmax(0.0f, Ri1);
    float Fo = 1.0f, Fi = 1.0f;
    if (r - Ro1 > 1e-6f && Ro2 - r > 1e-6f) {
        const float s = 1.0f - smooth_step((r - Ro1) / (Ro2 - Ro1 + 1e-6f));
        Fo = s * s;
    }
    if (r - inner > 1e-6f && Ri2 - r > 1e-6f) {
        const float s = smooth_step((r - Ri1) / (2.0f * fi + 1e-6f));
        Fi = s * s;
    }
    const float gi = smooth_step((r - inner) / 2.0f);
    const float go = smooth_step((r - Ro2) / 2.0f + 1.0f);
    return (1.0f - go) * gi * Fo * Fi;
}

__kernel void video_effect_circle(__read_only image2d_t src, __write_only image2d_t dst, float center_x,
                                  float center_y, float radius, int edge_mode, float thickness,
                                  float feather_radius_outer, float feather_radius_inner, int reverse_value,
                                  uchar color_r, uchar color_g, uchar color_b, int alpha_percent, int blend_mode,
                                  __global const uchar* blend_table) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float cx = (float)scaled_position(w, center_x), cy = (float)scaled_position(h, center_y);
    const float r = distance_to((float)x - cx, (float)y - cy);
    float c = circle_coverage(r, radius, edge_mode, thickness, feather_radius_outer, feather_radius_inner);
    if (reverse_value) c = 1.0f - c;
    const int m = sat_rint(c * 255.0f);
    const int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y,
               blend_pattern(p, m, (int3)(color_b, color_g, color_r), opacity_byte(alpha_percent), blend_mode, 1,
                             blend_table));
}
