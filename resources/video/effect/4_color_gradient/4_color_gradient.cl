// Assembled from kernels/effects/4_color_gradient.cl and kernels/common/: edit those.
// Four-colour gradient: four coloured points fading to mid-gray, laid over the frame by blend mode.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways). Float arithmetic follows the CPU body operation by
// operation, unfused, so both bodies round alike.
#pragma OPENCL FP_CONTRACT OFF

// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// (B, G, R, A) bytes of one pixel. The samples lie in 0..1: +0.5 and truncation round them with no
// saturating conversion, which costs a CPU device (PoCL) about as much as the copy of the pixel.
int4 load_bgra(__read_only image2d_t img, int x, int y) {
    float4 p = read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f;
    return convert_int4((float4)(p.z, p.y, p.x, p.w));
}

void store_bgra(__write_only image2d_t img, int x, int y, int4 bgra) {
    float4 v = convert_float4(clamp(bgra, 0, 255)) / 255.0f;
    write_imagef(img, (int2)(x, y), (float4)(v.z, v.y, v.x, v.w));
}

int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }

// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_trunc(float v) { return v >= 255.0f ? 255 : (v > 0.0f ? (int)v : 0); }
// rint (ties to even), then clamped; NaN gives 0.
int sat_rint(float v) { return sat_trunc(rint(v)); }

float fast_inv_sqrt(float d) {
    const float y = as_float(1597463174 - (as_int(d) >> 1));
    return y * (1.5f - 0.5f * d * y * y);
}
float distance_to(float dx, float dy) { return 1.0f / fast_inv_sqrt(dx * dx + dy * dy); }

// Nearest, halves to even (as convert_int_rte, without the rounding-mode conversion, costly on
// CPU devices such as PoCL); v well inside the int range.
int round_even(float v) { return (int)rint(v); }
// 8-bit HLS as the image library computes it (H in 0..180, L and S in 0..255).
int3 bgr_to_hls8(int b, int g, int r) {
    float fb = b * (1.0f / 255.0f), fg = g * (1.0f / 255.0f), fr = r * (1.0f / 255.0f);
    float vmax = fmax(fmax(fr, fg), fb), vmin = fmin(fmin(fr, fg), fb);
    float diff = vmax - vmin, l = (vmax + vmin) * 0.5f, h = 0.0f, s = 0.0f;
    if (diff > FLT_EPSILON) {
        s = l < 0.5f ? diff / (vmax + vmin) : diff / (2.0f - vmax - vmin);
        diff = 60.0f / diff;
        if (vmax == fr) h = (fg - fb) * diff;
        else if (vmax == fg) h = (fb - fr) * diff + 120.0f;
        else h = (fr - fg) * diff + 240.0f;
        if (h < 0.0f) h += 360.0f;
    }
    return (int3)(sat(round_even(h * 0.5f)), sat(round_even(l * 255.0f)), sat(round_even(s * 255.0f)));
}
int3 hls8_to_bgr(int H, int L, int S) {
    float h = (float)H, l = L * (1.0f / 255.0f), s = S * (1.0f / 255.0f);
    float b, g, r;
    if (s == 0.0f) {
        b = g = r = l;
    } else {
        float p2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
        float p1 = 2.0f * l - p2;
        h *= 6.0f / 180.0f;
        while (h < 0.0f) h += 6.0f;
        while (h >= 6.0f) h -= 6.0f;
        int sector = (int)floor(h);
        h -= sector;
        // The image library's sector table {p2, p1, falling q, rising t} by sector: b from
        // {p1, p1, t, p2, p2, q}, g from {t, p2, p2, q, p1, p1}, r from {p2, q, p1, p1, t, p2};
        // selected, not indexed, so that no per-pixel array is kept.
        const float q = p1 + (p2 - p1) * (1.0f - h), t = p1 + (p2 - p1) * h;
        b = sector <= 1 ? p1 : sector == 2 ? t : sector <= 4 ? p2 : q;
        g = sector == 0 ? t : sector <= 2 ? p2 : sector == 3 ? q : p1;
        r = sector == 0 ? p2 : sector == 1 ? q : sector <= 3 ? p1 : sector == 4 ? t : p2;
    }
    return (int3)(sat(round_even(b * 255.0f)), sat(round_even(g * 255.0f)), sat(round_even(r * 255.0f)));
}
// The frame pixel with its hue (variant 0), saturation (1), both (2) or lightness (3) taken from
// the given HLS, back in B, G, R.
int3 hls_replace(int4 p, int3 from, int variant) {
    int3 hls = bgr_to_hls8(p.x, p.y, p.z);
    if (variant == 0 || variant == 2) hls.x = from.x;
    if (variant == 1 || variant == 2) hls.z = from.z;
    if (variant == 3) hls.y = from.y;
    return hls8_to_bgr(hls.x, hls.y, hls.z);
}

// The opacity byte of a percentage: trunc(alpha 255 / 100).
int opacity_byte(int percent) { return clamp(percent, 0, 100) * 255 / 100; }

// trunc(size * fraction) in float, held to +-1e9 (NaN gives 0).
int scaled_position(int size, float fraction) {
    float p = (float)size * fraction;
    if (!(p > -1e9f)) return p == p ? -1000000000 : 0;
    if (!(p < 1e9f)) return 1000000000;
    return (int)p;
}

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
