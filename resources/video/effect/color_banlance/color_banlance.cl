// Assembled from kernels/effects/color_banlance.cl and kernels/common/: edit those.
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

// Blue, green and red each through their own byte table of the frame; alpha kept.
int4 map_channels(int4 p, __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r) {
    return (int4)(m_b[p.x], m_g[p.y], m_r[p.z], p.w);
}

// One program serves two effects under one key: mode 0 is the per-channel gain through the
// frame's tables m_b, m_g, m_r (out_c = sat(rint(in_c * ratio_c)), built by the effect), mode 1 the
// hue, lightness and saturation balance on 8-bit HLS. Each effect passes every argument, the other
// effect's at neutral values.
//
// In mode 1 the new lightness and saturation depend on the pixel through its largest and smallest
// channel alone, so the effect hands them in as the CPU body's own per-frame table, ls_table[max *
// 256 + min] = (L', S'); the kernel turns the hue by trunc(hue / 2) and converts back.
int4 hls_balance(int4 p, float hue, __global const uchar2* ls_table) {
    const int mx = max(max(p.x, p.y), p.z), mn = min(min(p.x, p.y), p.z);
    const uchar2 ls = ls_table[mx * 256 + mn];
    int H = bgr_to_hls8(p.x, p.y, p.z).x + (int)(hue * 0.5f);
    if (H >= 180) H -= 180;
    const int3 bgr = hls8_to_bgr(H, ls.x, ls.y);
    return (int4)(bgr.x, bgr.y, bgr.z, p.w);
}

__kernel void video_effect_color_banlance(__read_only image2d_t src, __write_only image2d_t dst,
                                          __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r,
                                          __global const uchar2* ls_table, float hue, int mode) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    if (mode == 1) {
        p = hls_balance(p, hue, ls_table);
    } else {
        p = map_channels(p, m_b, m_g, m_r);
    }
    store_bgra(dst, x, y, p);
}
