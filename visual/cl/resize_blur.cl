// The blur a reduction needs, at the input's size: the mean of the (2 kernelSize + 1)^2 pixels
// around each pixel, edges clamped, whatever resizeBlurType asks.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void ResizeBlur(__read_only image2d_t src, __write_only image2d_t dst, int resizeBlurType, int kernelSize) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const int r = max(kernelSize, 0);
    float4 sum = (float4)(0.0f);
    for (int dy = -r; dy <= r; ++dy) {
        float4 row = (float4)(0.0f);
        for (int dx = -r; dx <= r; ++dx) row += read_imagef(src, samplerOVLN, (int2)(x + dx, y + dy));
        sum += row;
    }
    const float n = (float)(2 * r + 1) * (float)(2 * r + 1);
    write_imagef(dst, (int2)(x, y), sum / n);
}
