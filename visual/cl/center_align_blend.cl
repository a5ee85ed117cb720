// A rectangle of the overlay (overlay pixels) placed by translation at a background position
// (background pixels, sub-pixel offsets included) and blended in the transform form; outside the
// placed rectangle the output is the background. The _backBlank kernel blends over transparent
// black.

// The overlay at pixel position q: bilinear with clamped edges, or with a zero border when
// useWarpAffine is set. Within a pixel of the overlay's edge the zero border darkens the colour;
// the alpha is then rescaled by how much colour the border kept, so the edge fades out instead of
// turning dark.
float4 alignedSample(__read_only image2d_t ovl, float2 q, int useWarpAffine) {
    const float4 clamped = SampleBilinear(ovl, q - 0.5f);
    if (useWarpAffine != 1) return clamped;
    float4 s = SampleBilinearWith(ovl, samplerOVLZ, q - 0.5f);
    const float2 size = (float2)(get_image_width(ovl), get_image_height(ovl));
    if (q.x < 1.0f || q.y < 1.0f || q.x > size.x - 1.0f || q.y > size.y - 1.0f) {
        const float kept = (s.x + s.y + s.z) / (clamped.x + clamped.y + clamped.z + 0.000001f);
        s.w = clamp(clamped.w * kept, 0.0f, 1.0f);
    }
    return s;
}

float4 alignedBlend(__read_only image2d_t ovl, float4 b, int x, int y, fxRectf overlay_rect, float2 background_pos,
                    int blendMode, float kRender_Alpha, int ovlAlphaPreMul, int useWarpAffine) {
    const float2 p = (float2)(x + 0.5f, y + 0.5f);
    const int inside = p.x >= background_pos.x && p.y >= background_pos.y &&
                       p.x < background_pos.x + overlay_rect.width && p.y < background_pos.y + overlay_rect.height;
    if (!inside) return b;
    const float2 q = p - background_pos + (float2)(overlay_rect.x, overlay_rect.y);
    const float4 o = alignedSample(ovl, q, useWarpAffine);
    return blendingTransform(b, o, o.w, 1.0f, 1.0f, blendMode, kRender_Alpha, ovlAlphaPreMul);
}

__kernel void CenterAlignBlend(__read_only image2d_t ovl, __read_only image2d_t bg, __write_only image2d_t dst,
                               fxRectf overlay_rect, float2 background_pos, int blendMode, float kRender_Alpha,
                               int ovlAlphaPreMul, int useWarpAffine) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 b = read_imagef(bg, samplerOVLN, (int2)(x, y));
    write_imagef(dst, (int2)(x, y),
                 alignedBlend(ovl, b, x, y, overlay_rect, background_pos, blendMode, kRender_Alpha, ovlAlphaPreMul,
                              useWarpAffine));
}

__kernel void CenterAlignBlend_backBlank(__read_only image2d_t ovl, __write_only image2d_t dst, fxRectf overlay_rect,
                                         float2 background_pos, int blendMode, float kRender_Alpha,
                                         int ovlAlphaPreMul, int useWarpAffine) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y),
                 alignedBlend(ovl, (float4)(0.0f), x, y, overlay_rect, background_pos, blendMode, kRender_Alpha,
                              ovlAlphaPreMul, useWarpAffine));
}
