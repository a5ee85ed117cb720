// Region-to-region blend: the overlay region (pixels of the overlay) scaled onto the background
// region (pixels of the background), both sampled bilinearly, blended in the standard form.

__kernel void MAIN1(__read_only image2d_t ovl, __read_only image2d_t bg, __write_only image2d_t dst,
                    fxRectf overlay_roi, fxRectf background_roi, int sampertype, int blendMode, float kRender_Alpha,
                    int ovlAlphaPreMul) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float2 p = (float2)(x + 0.5f, y + 0.5f);
    const float2 q = (float2)((p.x - background_roi.x) * overlay_roi.width / background_roi.width + overlay_roi.x,
                              (p.y - background_roi.y) * overlay_roi.height / background_roi.height + overlay_roi.y);
    // Every sampler type mixes bilinearly here; the argument is kept for the callers that pass it.
    (void)sampertype;
    // Inside the overlay region exactly where the output pixel lies inside the background region.
    const float matt = p.x >= background_roi.x && p.x < background_roi.x + background_roi.width &&
                       p.y >= background_roi.y && p.y < background_roi.y + background_roi.height ? 1.0f : 0.0f;
    const float4 o = SampleBilinear(ovl, q - 0.5f);
    const float4 b = SampleBilinear(bg, p - 0.5f);
    write_imagef(dst, (int2)(x, y), blending(b, o, matt * o.w, matt, 1.0f, blendMode, kRender_Alpha, ovlAlphaPreMul));
}
