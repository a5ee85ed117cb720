// mix(overlay, background, mask alpha), every input sampled bilinearly at the output's normalised
// pixel centre.

__constant sampler_t samplerOVL = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;

__kernel void blend_mask_notype_cl(__read_only image2d_t overlay, __read_only image2d_t background,
                                   __read_only image2d_t mask, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float2 tc = (float2)((x + 0.5f) / w, (y + 0.5f) / h);
    const float4 o = read_imagef(overlay, samplerOVL, tc);
    const float4 b = read_imagef(background, samplerOVL, tc);
    const float m = read_imagef(mask, samplerOVL, tc).w;
    write_imagef(dst, (int2)(x, y), mix(o, b, m));
}
