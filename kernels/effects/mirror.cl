// Mirror: the line through (cx, cy) with slope m = tan(angle + 90 degrees), b = cy - cx m. A pixel
// with y - m x - b > 0 takes its reflection: t = (m x - y + b)(-2)/(m^2 + 1),
// (sx, sy) = (nearest(t m + x), nearest(y - t)), 0 when outside [0, w - 1) x [0, h - 1) (the last
// column and row count as outside); other pixels keep their own value. In double where the device
// has it, as the CPU body computes it, so that both round the reflections alike.
#pragma OPENCL FP_CONTRACT OFF
// Still double precision: a reflection landing on a half pixel is decided by the CPU body's double
// rounding, which neither single precision nor float pairs reproduce. Without doubles the program
// does not build, so the effect falls back to its CPU body instead of giving other pixels.
#ifndef cl_khr_fp64
#error "mirror needs cl_khr_fp64"
#endif
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
#include "nearest_sampler.cl"

__kernel void video_effect_mirror(read_only image2d_t src, write_only image2d_t dst, int reflect_center_x,
                                  int reflect_center_y, float reflect_angle) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const real m = tan(((real)reflect_angle + 90) * (real)3.14159265359 / 180);
    const real b = (real)reflect_center_y - (real)reflect_center_x * m;
    const real fx = (real)x, fy = (real)y;
    float4 v = read_imagef(src, kNearest, (int2)(x, y));
    if (fy - m * fx - b > 0) {
        const real t = (m * fx - fy + b) * (-2) / (m * m + 1);
        const int sx = convert_int_sat(round(t * m + fx)), sy = convert_int_sat(round(fy - t));
        v = (sx >= 0 && sx < w - 1 && sy >= 0 && sy < h - 1) ? read_imagef(src, kNearest, (int2)(sx, sy)) : (float4)(0.0f);
    }
    write_imagef(dst, (int2)(x, y), v);
}
