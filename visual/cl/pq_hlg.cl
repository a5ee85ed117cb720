// PQ <-> HLG of BGRA frames for a 1000 cd/m2 HLG display; alpha kept. Curves from hdr_curves.cl.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void PQToHLG(__read_only image2d_t src, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    // Display light relative to the 1000 cd/m2 peak, clipped there.
    float r = fmin(PQ_EOTF(c.x) * 10.0f, 1.0f), g = fmin(PQ_EOTF(c.y) * 10.0f, 1.0f),
          b = fmin(PQ_EOTF(c.z) * 10.0f, 1.0f);
    HLG_INV_OOTF(&r, &g, &b);
    write_imagef(dst, (int2)(x, y),
                 (float4)(hdr_clamp01(HLG_OETF(r)), hdr_clamp01(HLG_OETF(g)), hdr_clamp01(HLG_OETF(b)), c.w));
}

__kernel void HLGToPQ(__read_only image2d_t src, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    float r = HLG_INV_OETF(c.x), g = HLG_INV_OETF(c.y), b = HLG_INV_OETF(c.z);
    HLG_OOTF(&r, &g, &b);
    write_imagef(dst, (int2)(x, y),
                 (float4)(hdr_clamp01(PQ_INV_EOTF(fmin(r * 0.1f, 1.0f))),
                          hdr_clamp01(PQ_INV_EOTF(fmin(g * 0.1f, 1.0f))),
                          hdr_clamp01(PQ_INV_EOTF(fmin(b * 0.1f, 1.0f))), c.w));
}
