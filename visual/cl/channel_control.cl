// The overlay's colour with alpha = (channel `channel` of the background: 0 red, 1 green, 2 blue,
// 3 alpha) x overlay alpha; any other channel copies the overlay. The background is sampled
// bilinearly at the output pixel's centre, the overlay at the pixel.

__constant sampler_t samplerOVL = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;
__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void channelControl(__read_only image2d_t background, __read_only image2d_t overlay,
                             __write_only image2d_t dst, int width, int height, int channel) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= width || y >= height) return;
    float4 o = read_imagef(overlay, samplerOVLN, (int2)(x, y));
    if (channel >= 0 && channel <= 3) {
        const float4 b = read_imagef(background, samplerOVL, (float2)((x + 0.5f) / width, (y + 0.5f) / height));
        const float v = channel == 0 ? b.x : channel == 1 ? b.y : channel == 2 ? b.z : b.w;
        o.w = v * o.w;
    }
    write_imagef(dst, (int2)(x, y), o);
}
