// Transform and motion: out(x, y) = bilinear sample of the input at A (x, y, 1), A = affine_matrix,
// the inverse of the effect's forward matrix (2 x 3, row-major); samples outside the input are 0
// (border_replicate = 0) or the nearest edge pixel; then every byte x opacity, nearest.
//
// The sample follows the image library's fixed-point warp exactly: positions in 1/32 pixel,
//   X = (round((a1 y + a2) 1024) + 16 + round(a0 x 1024)) >> 5 (rounding halves to even),
// bilinear weights (32 - tx)(32 - ty) ... summing to 1024, result (sum + 512) >> 10. The products
// are exact in double, so with 64-bit floats both bodies pick the same positions and weights.
#pragma OPENCL FP_CONTRACT OFF
#ifdef cl_khr_fp64
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
#else
typedef float real;  // devices without doubles: positions may differ by 1/32 pixel at rounding ties
#endif

#include "rgba_image.cl"

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

__kernel void video_effect_transform(read_only image2d_t src, write_only image2d_t dst,
                                     __constant float* affine_matrix, float opacity, int border_replicate) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const real a0 = affine_matrix[0], a1 = affine_matrix[1], a2 = affine_matrix[2];
    const real a3 = affine_matrix[3], a4 = affine_matrix[4], a5 = affine_matrix[5];
    const int X = (convert_int_sat_rte((a1 * (real)y + a2) * 1024) + 16 + convert_int_sat_rte(a0 * (real)x * 1024)) >> 5;
    const int Y = (convert_int_sat_rte((a4 * (real)y + a5) * 1024) + 16 + convert_int_sat_rte(a3 * (real)x * 1024)) >> 5;
    int4 v = BilinearFixed(src, X, Y, border_replicate);
    if (opacity < 1.0f) v = convert_int4(round(convert_float4(v) * opacity));
    StorePixel(dst, x, y, v);
}
