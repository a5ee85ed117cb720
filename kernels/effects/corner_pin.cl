// Corner pin: out(x, y) = bilinear sample of the input at the perspective map of (x, y) given by
// trans_mat (3 x 3, row-major, 64-bit floats, output -> input); samples outside the input are 0.
//
// The sample follows the image library's fixed-point perspective warp exactly: the library walks
// the output in blocks of bw columns (bw = min(1024 / min(16, H), W)) and evaluates, for column
// x = xb + x1 of a block starting at xb,
//   X0 = m0 xb + m1 y + m2, W0 = m6 xb + m7 y + m8, W = 32 / (W0 + m6 x1),
//   X = round((X0 + m0 x1) W) (halves to even), position X / 32 pixel;
// then bilinear weights (32 - tx)(32 - ty) ... summing to 1024, result (sum + 512) >> 10.
#pragma OPENCL FP_CONTRACT OFF
#ifdef cl_khr_fp64
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
typedef double matrix_entry;
real Entry(__constant matrix_entry* m, int i) { return m[i]; }
#else
// Devices without doubles read the IEEE bits and work in float: positions may then differ from
// the CPU body's by 1/32 pixel near rounding ties.
typedef float real;
typedef ulong matrix_entry;
real Entry(__constant matrix_entry* m, int i) {
    const ulong b = m[i];
    const int e = (int)((b >> 52) & 0x7ff);
    if (e == 0) return 0.0f;
    const float v = ldexp((float)((b & 0xFFFFFFFFFFFFFul) | 0x10000000000000ul), e - 1075);
    return (b >> 63) ? -v : v;
}
#endif

#include "rgba_image.cl"

int4 Tap(read_only image2d_t src, int x, int y) {
    if (x < 0 || y < 0 || x >= get_image_width(src) || y >= get_image_height(src)) return (int4)(0);
    return LoadPixel(src, x, y);
}

// The library's bilinear at a position in 1/32 pixel, constant (0) border.
int4 BilinearFixed(read_only image2d_t src, int X, int Y) {
    const int ix = clamp(X >> 5, -32768, 32767), iy = clamp(Y >> 5, -32768, 32767);
    const int tx = X & 31, ty = Y & 31;
    const int4 sum = Tap(src, ix, iy) * ((32 - tx) * (32 - ty)) + Tap(src, ix + 1, iy) * (tx * (32 - ty)) +
                     Tap(src, ix, iy + 1) * ((32 - tx) * ty) + Tap(src, ix + 1, iy + 1) * (tx * ty);
    return (sum + 512) >> 10;
}

__kernel void video_effect_corner_pin(read_only image2d_t src, write_only image2d_t dst,
                                      __constant matrix_entry* trans_mat) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    real m[9];
    for (int i = 0; i < 9; ++i) m[i] = Entry(trans_mat, i);
    const int bw = min(1024 / min(16, H), W);
    const int xb = x / bw * bw, x1 = x - xb;
    const real X0 = m[0] * (real)xb + m[1] * (real)y + m[2];
    const real Y0 = m[3] * (real)xb + m[4] * (real)y + m[5];
    const real W0 = m[6] * (real)xb + m[7] * (real)y + m[8];
    real scale = W0 + m[6] * (real)x1;
    scale = scale != 0 ? (real)32 / scale : (real)0;
    const int X = convert_int_sat_rte((X0 + m[0] * (real)x1) * scale);
    const int Y = convert_int_sat_rte((Y0 + m[3] * (real)x1) * scale);
    StorePixel(dst, x, y, BilinearFixed(src, X, Y));
}
