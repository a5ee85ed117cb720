// Assembled from kernels/effects/circle.cl and kernels/common/: edit those.
// Circle: a disc or ring of the pattern colour, laid over the frame.
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

// The index of a reflect-101 border (dcb|abcd|cba).
int reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
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

// The CPU bodies' integer luma: trunc(b 0.114) + trunc(g 0.587) + trunc(r 0.299), in integers
// (the same bytes for every channel value, since no product is within 1/500 of a whole number).
int luma(int b, int g, int r) { return b * 57 / 500 + g * 587 / 1000 + r * 299 / 1000; }

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

// The pattern colour (B, G, R) laid over the frame pixel through mask byte m: modes 0 no blend,
// 1 normal, 2 alpha, 3..14 the blend table T, 15..18 HLS (15..17 with a gray colour desaturate
// toward the luma instead). `two_step` mixes the normal mode like the table modes.
int4 blend_pattern(int4 p, int m, int3 col, int k0, int mode, int two_step, __global const uchar* T) {
    int x[3] = {p.x, p.y, p.z};
    int y[3] = {col.x, col.y, col.z};
    int o[3];
    const int gray = col.x == col.y && col.y == col.z;
    if (mode == 0 || (mode == 1 && !two_step) || mode == 2) {
        const int a = mul255(m, k0);
        for (int c = 0; c < 3; ++c)
            o[c] = mode == 0 ? mul255(y[c], a) : (mode == 2 ? mul255(x[c], a) : mul255(x[c], 255 - a) + mul255(y[c], a));
    } else if (mode <= 14) {
        for (int c = 0; c < 3; ++c) {
            const int bl = mode >= 3 ? T[x[c] * 256 + y[c]] : y[c];
            const int u = mul255(bl, m) + mul255(x[c], 255 - m);
            o[c] = mul255(u, k0) + mul255(x[c], 255 - k0);
        }
    } else if (gray && mode <= 17) {
        const int Y = luma(p.x, p.y, p.z);
        for (int c = 0; c < 3; ++c) {
            const int g = mul255(x[c], 255 - k0) + mul255(Y, k0);
            o[c] = mul255(g, m) + mul255(x[c], 255 - m);
        }
    } else {
        const int3 P = hls_replace(p, bgr_to_hls8(col.x, col.y, col.z), mode - 15);
        const int q[3] = {P.x, P.y, P.z};
        for (int c = 0; c < 3; ++c) {
            const int u = mul255(q[c], m) + mul255(x[c], 255 - m);
            o[c] = mul255(u, k0) + mul255(x[c], 255 - k0);
        }
    }
    return (int4)(o[0], o[1], o[2], p.w);
}

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
