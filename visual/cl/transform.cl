// The overlay rotated, sheared and scaled about its anchor with the anchor on the background
// centre, without blending: transparent where the overlay does not reach.

__kernel void Transform(__read_only image2d_t src, __write_only image2d_t dst, float2 anchor_center,
                        float2 background_center, int sampleType, float theta, float2 rotation, float scale_x,
                        float scale_y, float skew_x, float skew_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    (void)sampleType;
    const float2 ovlSize = (float2)(get_image_width(src), get_image_height(src));
    const float2 uv = transformUV(x, y, (float2)(W, H), ovlSize, anchor_center, background_center, rotation,
                                  scale_x, scale_y, skew_x, skew_y);
    float4 o = SampleBilinear(src, uv * ovlSize - 0.5f) * gridMask(uv);
    if (fabs(theta) > 1e-5f) o *= edgeFeather(uv, ovlSize);
    write_imagef(dst, (int2)(x, y), o);
}
