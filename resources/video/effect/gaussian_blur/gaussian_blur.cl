// Assembled from kernels/effects/gaussian_blur.cl and kernels/common/: edit those.
// Gaussian blur: out = sum over i, j = -r..r of kernel_array[(j + r) n + i + r] in(x + i, y + j),
// n = mask_length = 2r + 1, reflect-101 border, all four bytes, to the nearest byte.
//
// The table is a normalised Gaussian, the outer product g g^T of its row sums g, so each 16 x 16
// work-group filters rows first into local memory ((16 + 2r) x 16 sums of n taps) and then
// columns: about 2n + 2nr/16 taps per pixel instead of n^2. Work-groups of any other shape take
// the direct n x n sum.
#pragma OPENCL FP_CONTRACT OFF

#define TILE 16
#define MAX_RADIUS 50

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes in
// the image's lane order. Samples lie in 0..1, so +0.5 and truncation round them (a rounding-mode
// conversion costs a CPU device such as PoCL far more).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

float4 Bytes(read_only image2d_t img, int x, int y) {
    return convert_float4(LoadPixel(img, x, y));
}

// The index of a reflect-101 border (dcb|abcd|cba).
int reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
}

// Reflect-101: -1 reads 1, len reads len - 2.

void StoreRounded(write_only image2d_t img, int x, int y, float4 v) {
    write_imagef(img, (int2)(x, y), floor(v + 0.5f) / 255.0f);
}

__kernel void video_effect_gaussian_blur(read_only image2d_t src, write_only image2d_t dst,
                                         __constant float* kernel_array, int mask_length) {
    __local float g[2 * MAX_RADIUS + 1];
    __local float4 rows[(TILE + 2 * MAX_RADIUS) * TILE];
    const int w = get_image_width(dst), h = get_image_height(dst);
    const int x = get_global_id(0), y = get_global_id(1);
    const int n = clamp(mask_length, 1, 2 * MAX_RADIUS + 1), r = n / 2;

    if (get_local_size(0) != TILE || get_local_size(1) != TILE) {
        if (x >= w || y >= h) return;
        float4 acc = (float4)(0.0f);
        for (int j = 0; j < n; ++j) {
            const int sy = reflect101(y - r + j, h);
            for (int i = 0; i < n; ++i) acc += kernel_array[j * n + i] * Bytes(src, reflect101(x - r + i, w), sy);
        }
        StoreRounded(dst, x, y, acc);
        return;
    }

    const int lx = get_local_id(0), ly = get_local_id(1), lid = ly * TILE + lx;
    const int x0 = get_group_id(0) * TILE, y0 = get_group_id(1) * TILE;
    for (int i = lid; i < n; i += TILE * TILE) {
        float s = 0.0f;
        for (int j = 0; j < n; ++j) s += kernel_array[i * n + j];
        g[i] = s;
    }
    barrier(CLK_LOCAL_MEM_FENCE);
    // Row sums for source rows y0 - r .. y0 + 15 + r and the group's 16 columns (columns past the
    // frame compute a value nobody reads).
    const int span = TILE + 2 * r;
    for (int k = lid; k < span * TILE; k += TILE * TILE) {
        const int sy = reflect101(y0 - r + k / TILE, h);
        const int sx = min(x0 + k % TILE, w - 1);
        float4 acc = (float4)(0.0f);
        for (int i = 0; i < n; ++i) acc += g[i] * Bytes(src, reflect101(sx - r + i, w), sy);
        rows[k] = acc;
    }
    barrier(CLK_LOCAL_MEM_FENCE);
    if (x >= w || y >= h) return;
    float4 acc = (float4)(0.0f);
    for (int j = 0; j < n; ++j) acc += g[j] * rows[(ly + j) * TILE + lx];
    StoreRounded(dst, x, y, acc);
}
