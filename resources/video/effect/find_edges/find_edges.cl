// Assembled from kernels/effects/find_edges.cl and kernels/common/: edit those.
// Find edges: E = min(255, min(255, |Sx|) + min(255, |Sy|)) with the 3 x 3 Sobel kernels and a
// reflect-101 border, inverted (255 - E) unless reverse_flag; out = min(255, M[E][k] + M[in][255 - k])
// per colour byte, k = trunc(alpha 0.01 255) held to 0..255, M[x][y] = (x y + 127) div 255; alpha kept.
#pragma OPENCL FP_CONTRACT OFF

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
