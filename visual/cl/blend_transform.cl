// The overlay rotated, sheared and scaled about its anchor, placed with the anchor on the
// background centre and blended in the transform form, in one pass per output pixel. The
// _backBlank kernel blends over transparent black instead of a background image.

float4 placedOverlay(__read_only image2d_t ovl, int x, int y, float2 outSize, float2 anchor_center,
                     float2 background_center, float theta, float2 rotation, float scale_x, float scale_y,
                     float skew_x, float skew_y, float* grid) {
    const float2 ovlSize = (float2)(get_image_width(ovl), get_image_height(ovl));
    const float2 uv = transformUV(x, y, outSize, ovlSize, anchor_center, background_center, rotation, scale_x,
                                  scale_y, skew_x, skew_y);
    *grid = gridMask(uv);
    float4 o = SampleBilinear(ovl, uv * ovlSize - 0.5f);
    // A mix whose alpha rounds to no byte carries no colour, as the CPU sampler makes it.
    if (o.w < 0.5f / 255.0f) o = (float4)(0.0f);
    if (fabs(theta) > 1e-5f) o *= edgeFeather(uv, ovlSize);
    return o;
}

__kernel void BlendAndTransform(__read_only image2d_t ovl, __read_only image2d_t bg, __write_only image2d_t dst,
                                float2 anchor_center, float2 background_center, int blendMode, float kRender_Alpha,
                                int ovlAlphaPreMul, float theta, float2 rotation, int sampleType, float scale_x,
                                float scale_y, float skew_x, float skew_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    // The kernels always mix bilinearly; sampleType chooses only on the CPU.
    (void)sampleType;
    float grid;
    const float4 o = placedOverlay(ovl, x, y, (float2)(W, H), anchor_center, background_center, theta, rotation,
                                   scale_x, scale_y, skew_x, skew_y, &grid);
    const float4 b = read_imagef(bg, samplerBG, ((float2)(x, y) + 0.5f) / (float2)(W, H));
    write_imagef(dst, (int2)(x, y),
                 blendingTransform(b, o, grid * o.w, grid, 1.0f, blendMode, kRender_Alpha, ovlAlphaPreMul));
}

__kernel void BlendAndTransform_backBlank(__read_only image2d_t ovl, __write_only image2d_t dst, float2 anchor_center,
                                          float2 background_center, int blendMode, float kRender_Alpha,
                                          int ovlAlphaPreMul, float theta, float2 rotation, int sampleType,
                                          float scale_x, float scale_y, float skew_x, float skew_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    (void)sampleType;
    float grid;
    const float4 o = placedOverlay(ovl, x, y, (float2)(W, H), anchor_center, background_center, theta, rotation,
                                   scale_x, scale_y, skew_x, skew_y, &grid);
    write_imagef(dst, (int2)(x, y),
                 blendingTransform((float4)(0.0f), o, grid * o.w, grid, 1.0f, blendMode, kRender_Alpha, ovlAlphaPreMul));
}
