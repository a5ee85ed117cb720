// Find edges: E = min(255, min(255, |Sx|) + min(255, |Sy|)) with the 3 x 3 Sobel kernels and a
// reflect-101 border, inverted (255 - E) unless reverse_flag; out = min(255, M[E][k] + M[in][255 - k])
// per colour byte, k = trunc(alpha 0.01 255) held to 0..255, M[x][y] = (x y + 127) div 255; alpha kept.
#pragma OPENCL FP_CONTRACT OFF

#include "rgba_image.cl"
#include "reflect101.cl"

__kernel void video_effect_find_edges(read_only image2d_t src, write_only image2d_t dst, int reverse_flag, int alpha) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const int xl = reflect101(x - 1, w), xr = reflect101(x + 1, w);
    const int yu = reflect101(y - 1, h), yd = reflect101(y + 1, h);
    const int4 ul = LoadPixel(src, xl, yu), u = LoadPixel(src, x, yu), ur = LoadPixel(src, xr, yu);
    const int4 l = LoadPixel(src, xl, y), c = LoadPixel(src, x, y), r = LoadPixel(src, xr, y);
    const int4 dl = LoadPixel(src, xl, yd), d = LoadPixel(src, x, yd), dr = LoadPixel(src, xr, yd);
    const int4 sx = (ur + 2 * r + dr) - (ul + 2 * l + dl);
    const int4 sy = (dl + 2 * d + dr) - (ul + 2 * u + ur);
    int4 E = min(min(convert_int4(abs(sx)), 255) + min(convert_int4(abs(sy)), 255), 255);
    if (!reverse_flag) E = 255 - E;
    const int k = clamp(alpha, 0, 100) * 255 / 100;  // in integers: exact for every percentage
    const int4 mixed = min((E * k + 127) / 255 + (c * (255 - k) + 127) / 255, 255);
    StorePixel(dst, x, y, (int4)(mixed.xyz, c.w));
}
