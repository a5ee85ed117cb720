// Assembled from kernels/effects/channel_invert.cl and kernels/common/: edit those.
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
