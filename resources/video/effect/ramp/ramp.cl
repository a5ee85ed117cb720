// Assembled from kernels/effects/ramp.cl and kernels/common/: edit those.
// Gradient ramp: a linear or radial ramp between two colours, optionally scattered, mixed
// over the frame by opacity.
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

// The ramp's B, G, R bytes at (x, y): radial around P0 (any mode but 0), or linear between the
// perpendiculars through P0 and P1, along columns when the points share a row and along rows when
// they share a column.
int3 ramp_at(int x, int y, int x0, int y0, int x1, int y1, float L, int mode, int3 b, int3 e) {
    const int bb[3] = {b.x, b.y, b.z}, ee[3] = {e.x, e.y, e.z};
    int o[3];
    if (mode != 0) {
        const float d = distance_to((float)(x - x0), (float)(y - y0));
        for (int c = 0; c < 3; ++c)
            o[c] = d - L < 1e-6f ? (int)(d * (float)(ee[c] - bb[c]) / L + (float)bb[c]) : ee[c];
    } else if (y0 == y1) {
        if (x < min(x0, x1) || x > max(x0, x1)) {
            const int before = x0 <= x1 ? x < x0 : x > x0;
            return before ? b : e;
        }
        const float t = (float)abs(x - x0);
        for (int c = 0; c < 3; ++c) o[c] = (int)((float)bb[c] + t * (float)(ee[c] - bb[c]) / L);
    } else if (x0 == x1) {
        if (y < min(y0, y1) || y > max(y0, y1)) {
            const int before = y0 < y1 ? y < y0 : y > y0;
            return before ? b : e;
        }
        const float t = (float)abs(y - y0);
        const float Ly = (float)abs(y1 - y0);
        for (int c = 0; c < 3; ++c) o[c] = bb[c] + (int)(t * (float)(ee[c] - bb[c]) / Ly);
    } else {
        const float s = (float)(y1 - y0) / ((float)(x1 - x0) + 1e-6f);
        const float mp = -1.0f / (s + 1e-6f);
        const float q0 = (float)y0 - mp * (float)x0;
        const float g = mp * (float)x - (float)y + q0;
        const float g1 = mp * (float)x1 - (float)y1 + q0;
        if ((g < 0.0f && g1 > 0.0f) || (g > 0.0f && g1 < 0.0f)) return b;
        const float t = fabs(g) * fast_inv_sqrt(mp * mp + 1.0f);
        if (t > L) return e;
        for (int c = 0; c < 3; ++c) o[c] = (int)((float)bb[c] + t * (float)(ee[c] - bb[c]) / L);
    }
    return (int3)(o[0], o[1], o[2]) & 255;
}

// With scatter, each of the 2 x 2 window's pixels (x - 1 .. x, y - 1 .. y, reflect-101) reads the
// ramp at its own offset (clamped to the frame), and the window is averaged as the image library
// rounds its 2 x 2 box: (sum + 3) / 4.
__kernel void video_effect_ramp(__read_only image2d_t src, __write_only image2d_t dst, int x0, int y0, int x1,
                                int y1, float ramp_length, int ramp_mode, uchar begin_b, uchar begin_g,
                                uchar begin_r, uchar end_b, uchar end_g, uchar end_r, int alpha_percent, int scatter,
                                __global const char* offsets) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const int3 b = (int3)(begin_b, begin_g, begin_r), e = (int3)(end_b, end_g, end_r);
    int3 r;
    if (!scatter) {
        r = ramp_at(x, y, x0, y0, x1, y1, ramp_length, ramp_mode, b, e);
    } else {
        int3 acc = (int3)(0, 0, 0);
        const int xs[2] = {reflect101(x - 1, w), x}, ys[2] = {reflect101(y - 1, h), y};
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
                const int d = offsets[(long)ys[j] * w + xs[i]];
                const int sx = clamp(xs[i] + d, 0, w - 1), sy = clamp(ys[j] + d, 0, h - 1);
                acc += ramp_at(sx, sy, x0, y0, x1, y1, ramp_length, ramp_mode, b, e);
            }
        r = (acc + 3) / 4;
    }
    const int k = opacity_byte(alpha_percent);
    int4 p = load_bgra(src, x, y);
    p.x = mul255(r.x, k) + mul255(p.x, 255 - k);
    p.y = mul255(r.y, k) + mul255(p.y, 255 - k);
    p.z = mul255(r.z, k) + mul255(p.z, 255 - k);
    store_bgra(dst, x, y, p);
}
