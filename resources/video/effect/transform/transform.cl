// Assembled from kernels/effects/transform.cl and kernels/common/: edit those.
// Transform and motion: out(x, y) = bilinear sample of the input at A (x, y, 1), A = affine_matrix,
// the inverse of the effect's forward matrix (2 x 3, row-major); samples outside the input are 0
// (border_replicate = 0) or the nearest edge pixel; then every byte x opacity, nearest.
//
// The sample follows the image library's fixed-point warp exactly: positions in 1/32 pixel,
//   X = (round((a1 y + a2) 1024) + 16 + round(a0 x 1024)) >> 5 (rounding halves to even),
// bilinear weights (32 - tx)(32 - ty) ... summing to 1024, result (sum + 512) >> 10. The rounded
// terms depend on the column or the row alone, so the effect computes them once per frame as the
// CPU body does (col_terms: round(a0 x 1024), round(a3 x 1024); row_terms: the row's two) and the
// kernel adds integers: the same positions on every device.
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

int4 Tap(read_only image2d_t src, int x, int y, int replicate) {
    const int w = get_image_width(src), h = get_image_height(src);
    if (replicate) return LoadPixel(src, clamp(x, 0, w - 1), clamp(y, 0, h - 1));
    if (x < 0 || y < 0 || x >= w || y >= h) return (int4)(0);
    return LoadPixel(src, x, y);
}

// The library's bilinear at a position in 1/32 pixel.
int4 BilinearFixed(read_only image2d_t src, int X, int Y, int replicate) {
    const int ix = clamp(X >> 5, -32768, 32767), iy = clamp(Y >> 5, -32768, 32767);
    const int tx = X & 31, ty = Y & 31;
    const int4 sum = Tap(src, ix, iy, replicate) * ((32 - tx) * (32 - ty)) +
                     Tap(src, ix + 1, iy, replicate) * (tx * (32 - ty)) +
                     Tap(src, ix, iy + 1, replicate) * ((32 - tx) * ty) + Tap(src, ix + 1, iy + 1, replicate) * (tx * ty);
    return (sum + 512) >> 10;
}

__kernel void video_effect_transform(read_only image2d_t src, write_only image2d_t dst, __global const int2* col_terms,
                                     __global const int2* row_terms, float opacity, int border_replicate) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const int2 c = col_terms[x], r = row_terms[y];
    int4 v = BilinearFixed(src, (r.x + 16 + c.x) >> 5, (r.y + 16 + c.y) >> 5, border_replicate);
    if (opacity < 1.0f) v = convert_int4(round(convert_float4(v) * opacity));
    StorePixel(dst, x, y, v);
}
