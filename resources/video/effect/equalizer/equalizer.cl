// Assembled from kernels/effects/equalizer.cl and kernels/common/: edit those.
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

// 8-bit HLS as the image library computes it (H in 0..180, L and S in 0..255), in the form of its
// vectorised conversion: the saturation divides by 2 - (max + min) and the hue is one fused
// multiply-add with its offset. Written so, it equals the library's result for every 8-bit colour
// (checked on all 2^24 of them); the lightness then passes through Q, which would widen any
// one-step difference.
int3 bgr_to_hls8_vectorised(int b, int g, int r) {
    float fb = b * (1.0f / 255.0f), fg = g * (1.0f / 255.0f), fr = r * (1.0f / 255.0f);
    float vmax = fmax(fmax(fr, fg), fb), vmin = fmin(fmin(fr, fg), fb);
    float diff = vmax - vmin, msum = vmax + vmin, l = msum * 0.5f, h = 0.0f, s = 0.0f;
    if (diff > FLT_EPSILON) {
        s = l < 0.5f ? diff / msum : diff / (2.0f - msum);
        diff = 60.0f / diff;
        if (vmax == fr) {
            h = (fg - fb) * diff;
            if (h < 0.0f) h = fma(fg - fb, diff, 360.0f);
        } else if (vmax == fg) {
            h = fma(fb - fr, diff, 120.0f);
        } else {
            h = fma(fr - fg, diff, 240.0f);
        }
        if (h < 0.0f) h += 360.0f;
    }
    return (int3)(sat(convert_int_rte(h * 0.5f)), sat(convert_int_rte(l * 255.0f)), sat(convert_int_rte(s * 255.0f)));
}

// trunc(c (1 - s) + q s) in float, the mix of both modes.
int mix_grain(int c, int q, float s) { return clamp((int)((float)c * (1.0f - s) + (float)q * s), 0, 255); }

// equalize_grain and mode are integers passed with the float type code: their bits are read
// back as int, not converted.
__kernel void video_effect_equalizer(__read_only image2d_t src, __write_only image2d_t dst,
                                     __constant int* cdf_table, float equalize_grain, float mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int grain = as_int(equalize_grain), m = as_int(mode);
    int4 p = load_bgra(src, x, y);
    if (grain != 0) {
        float s = (float)grain * 0.01f;
        int4 e;
        if (m == 0) {
            e = (int4)(cdf_table[p.x], cdf_table[p.y], cdf_table[p.z], 0);
        } else {
            int3 hls = bgr_to_hls8_vectorised(p.x, p.y, p.z);
            e = (int4)(hls8_to_bgr(hls.x, cdf_table[clamp(hls.y, 0, 255)], hls.z), 0);
        }
        p.x = mix_grain(p.x, e.x, s);
        p.y = mix_grain(p.y, e.y, s);
        p.z = mix_grain(p.z, e.z, s);
    }
    store_bgra(dst, x, y, p);
}
