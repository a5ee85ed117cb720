// The overlay laid over a constant colour (channels 0..255), standard form.

__kernel void solidColorBlend(__read_only image2d_t ovl, __write_only image2d_t dst, int blueValue, int greenValue,
                              int redValue, int alphaValue, int blendMode, float kRender_Alpha, int ovlAlphaPreMul) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    // Images deliver R, G, B, A in x, y, z, w.
    float4 bg = (float4)(redValue, greenValue, blueValue, alphaValue) / 255.0f;
    // A premultiplied overlay lays over the colour premultiplied as well, as the CPU's body takes
    // it: a clear colour leaves no colour behind.
    if (ovlAlphaPreMul != 0 && normalisedMode(blendMode) == 0) bg.xyz *= bg.w;
    const float4 o = read_imagef(ovl, samplerOVLN, (int2)(x, y));
    write_imagef(dst, (int2)(x, y), blending(bg, o, o.w, 1.0f, 1.0f, blendMode, kRender_Alpha, ovlAlphaPreMul));
}
