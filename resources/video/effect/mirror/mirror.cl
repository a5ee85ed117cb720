// Assembled from kernels/effects/mirror.cl and kernels/common/: edit those.
// Mirror: the line through (cx, cy) with slope m = tan(angle + 90 degrees). A pixel with
// y - m x - b > 0, b = cy - cx m, takes its reflection: t = (m x - y + b)(-2)/(m^2 + 1),
// (sx, sy) = (nearest(t m + x), nearest(y - t)), 0 when outside [0, w - 1) x [0, h - 1) (the last
// column and row count as outside); other pixels keep their own value.
// In single precision, with the offsets from the centre taken in integers first, so nothing large
// cancels; the CPU body takes the same steps, so both pick the same samples on every device.
#pragma OPENCL FP_CONTRACT OFF
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void video_effect_mirror(read_only image2d_t src, write_only image2d_t dst, int reflect_center_x,
                                  int reflect_center_y, float line_slope) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float m = line_slope;
    const float dx = (float)(x - reflect_center_x), dy = (float)(y - reflect_center_y);
    float4 v = read_imagef(src, kNearest, (int2)(x, y));
    if (dy - m * dx > 0.0f) {
        const float t = (m * dx - dy) * -2.0f / (m * m + 1.0f);
        const int sx = convert_int_sat(round(t * m + (float)x)), sy = convert_int_sat(round((float)y - t));
        v = (sx >= 0 && sx < w - 1 && sy >= 0 && sy < h - 1) ? read_imagef(src, kNearest, (int2)(sx, sy)) : (float4)(0.0f);
    }
    write_imagef(dst, (int2)(x, y), v);
}
