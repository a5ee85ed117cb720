// A pixel region (roi_x, roi_y, scale_x * Wout, scale_y * Hout) of the input scaled onto the whole
// output, bilinear, pixel centres aligned. Points outside the input give transparent pixels, as
// the CPU crop does.

__constant sampler_t samplerOVL = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;

__kernel void BGRACrop(__read_only image2d_t src, __write_only image2d_t dst, int roi_x, int roi_y, float scale_x,
                       float scale_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int Wout = get_image_width(dst), Hout = get_image_height(dst);
    if (x >= Wout || y >= Hout) return;
    const float Win = get_image_width(src), Hin = get_image_height(src);
    const float2 n = (float2)((x + 0.5f) / Wout * (scale_x * Wout / Win) + roi_x / Win,
                              (y + 0.5f) / Hout * (scale_y * Hout / Hin) + roi_y / Hin);
    float4 v = (float4)(0.0f);
    if (n.x >= 0.0f && n.y >= 0.0f && n.x < 1.0f && n.y < 1.0f) v = read_imagef(src, samplerOVL, n);
    write_imagef(dst, (int2)(x, y), v);
}
