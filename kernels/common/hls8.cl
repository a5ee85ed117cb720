#include "saturate.cl"
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
