// Assembled from kernels/effects/corner_pin.cl and kernels/common/: edit those.
// Corner pin: out(x, y) = bilinear sample of the input at the perspective map of (x, y) given by
// trans_mat (3 x 3, row-major, output -> input); samples outside the input are 0.
//
// The sample follows the image library's fixed-point perspective warp exactly: the library walks
// the output in blocks of bw columns (bw = min(1024 / min(16, H), W)) and evaluates, for column
// x = xb + x1 of a block starting at xb,
//   X0 = m0 xb + m1 y + m2, W0 = m6 xb + m7 y + m8, W = 32 / (W0 + m6 x1),
//   X = round((X0 + m0 x1) W) (halves to even), position X / 32 pixel;
// then bilinear weights (32 - tx)(32 - ty) ... summing to 1024, result (sum + 512) >> 10.
// The effect hands the matrix as float pairs (hi, lo per entry) and the kernel follows the CPU
// body's arithmetic in them, so positions agree but for a value within about 2^-40 of a rounding
// tie.
#pragma OPENCL FP_CONTRACT OFF
// Float pairs: a value held as hi + lo, two floats, for the few positions that single precision
// alone would round differently from the CPU bodies (about 48 bits against its 24). Products and
// sums carry their rounding error exactly (fma and two-sum), so a pair is right to a few units of
// 2^-48 of its size and exact wherever the value is a short binary fraction.
typedef float2 fpair;

fpair fp_fast_sum(float a, float b) {
    const float s = a + b;
    return (fpair)(s, b - (s - a));
}
fpair fp_sum(float a, float b) {
    const float s = a + b, bb = s - a;
    return (fpair)(s, (a - (s - bb)) + (b - bb));
}
fpair fp_add(fpair a, fpair b) {
    fpair s = fp_sum(a.x, b.x);
    const fpair t = fp_sum(a.y, b.y);
    s = fp_fast_sum(s.x, s.y + t.x);
    return fp_fast_sum(s.x, s.y + t.y);
}
fpair fp_mul(fpair a, fpair b) {
    const float p = a.x * b.x;
    return fp_fast_sum(p, fma(a.x, b.x, -p) + (a.x * b.y + a.y * b.x));
}
fpair fp_div(fpair a, fpair b) {
    const float q1 = a.x / b.x;
    fpair r = fp_add(a, -fp_mul(b, (fpair)(q1, 0.0f)));
    const float q2 = r.x / b.x;
    r = fp_add(r, -fp_mul(b, (fpair)(q2, 0.0f)));
    const float q3 = r.x / b.x;
    return fp_add(fp_fast_sum(q1, q2), (fpair)(q3, 0.0f));
}
fpair fp_int(int v) { return fp_sum((float)v, (float)(v - (int)(float)v)); }
// The nearest whole number, halves to even, held to an int.
int fp_rint_sat(fpair v) {
    if (!(v.x == v.x)) return 0;
    if (v.x >= 2147483647.0f) return INT_MAX;
    if (v.x <= -2147483648.0f) return INT_MIN;
    const float f0 = floor(v.x);
    float f = (v.x - f0) + v.y;  // v.x - f0 is exact
    long r = (long)f0;
    if (f >= 1.0f) r += 1, f -= 1.0f;
    if (f < 0.0f) r -= 1, f += 1.0f;
    if (f > 0.5f || (f == 0.5f && (r & 1))) r += 1;
    return (int)clamp(r, (long)INT_MIN, (long)INT_MAX);
}

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
                                      __constant float2* trans_mat) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    fpair m[9];
    for (int i = 0; i < 9; ++i) m[i] = trans_mat[i];
    const int bw = min(1024 / min(16, H), W);
    const int xb = x / bw * bw, x1 = x - xb;
    const fpair fxb = fp_int(xb), fy = fp_int(y), fx1 = fp_int(x1);
    const fpair X0 = fp_add(fp_add(fp_mul(m[0], fxb), fp_mul(m[1], fy)), m[2]);
    const fpair Y0 = fp_add(fp_add(fp_mul(m[3], fxb), fp_mul(m[4], fy)), m[5]);
    const fpair W0 = fp_add(fp_add(fp_mul(m[6], fxb), fp_mul(m[7], fy)), m[8]);
    fpair scale = fp_add(W0, fp_mul(m[6], fx1));
    scale = scale.x != 0.0f ? fp_div((fpair)(32.0f, 0.0f), scale) : (fpair)(0.0f, 0.0f);
    const int X = fp_rint_sat(fp_mul(fp_add(X0, fp_mul(m[0], fx1)), scale));
    const int Y = fp_rint_sat(fp_mul(fp_add(Y0, fp_mul(m[3], fx1)), scale));
    StorePixel(dst, x, y, BilinearFixed(src, X, Y));
}
