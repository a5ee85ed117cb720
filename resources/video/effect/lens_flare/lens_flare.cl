// Assembled from kernels/effects/lens_flare.cl and kernels/common/: edit those.
// Lens flare: light around the light position and its reflections through the frame centre.
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

// The opacity byte of a percentage: trunc(alpha 255 / 100).
int opacity_byte(int percent) { return clamp(percent, 0, 100) * 255 / 100; }

// trunc(size * fraction) in float, held to +-1e9 (NaN gives 0).
int scaled_position(int size, float fraction) {
    float p = (float)size * fraction;
    if (!(p > -1e9f)) return p == p ? -1000000000 : 0;
    if (!(p < 1e9f)) return 1000000000;
    return (int)p;
}

// A component's factor at distance d; types: 0 squared disc, 1 linear disc, 2 halo ring,
// 3 disc with a soft rim, 4 disc brightest near its rim, 5 thin ring.
float flare_factor(int type, float s, float d) {
    if (type == 0) {
        if (!(d < s)) return 0.0f;
        const float u = 1.0f - d / s;
        return u * u;
    }
    if (type == 1) return d < s ? 1.0f - d / s : 0.0f;
    if (type == 2 || type == 5) {
        const float q = fabs(d - s) / ((type == 2 ? 0.07f : 0.04f) * s);
        return q < 1.0f ? 1.0f - q : 0.0f;
    }
    if (type == 3) return fmin(1.0f, (s - d) / (0.15f * s));
    const float u = (s - d) / (0.12f * s);
    if (!(u > 0.0f)) return 0.0f;
    return u <= 1.0f ? u : 1.0f - 0.12f * u;
}

// The input plus the light of every component in table order: c = trunc(c + (255 - c) f k_c).
// components: eight floats each (x, y, size, type, k_R, k_G, k_B, reach). A pixel at or beyond a
// component's reach (which allows for the fast distance's error) gets no light from it; the squared
// distance tells that without the division, and the CPU body passes over the same pixels.
__kernel void video_effect_lens_flare(__read_only image2d_t src, __write_only image2d_t dst,
                                      __global const float* components) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    for (int i = 0; i < 24; ++i) {
        __global const float* c = components + 8 * i;
        if (!(c[2] > 0.0f)) continue;
        const float dx = (float)x - c[0], dy = (float)y - c[1];
        if (!(dx * dx + dy * dy < c[7] * c[7])) continue;
        const float d = distance_to(dx, dy);
        const float f = flare_factor((int)c[3], c[2], d);
        if (!(f > 0.0f)) continue;
        p.x = (int)((float)p.x + (float)(255 - p.x) * f * c[6]);
        p.y = (int)((float)p.y + (float)(255 - p.y) * f * c[5]);
        p.z = (int)((float)p.z + (float)(255 - p.z) * f * c[4]);
    }
    store_bgra(dst, x, y, p);
}
