// A full-frame overlay, optionally turned about the frame centre, blended over the background in
// the four-channel form. width and height are the output's, also taken as the overlay's size.
// mode 0 fits and mode 1 fills the overlay's aspect ratio into the frame (factor 1 when the
// overlay has the frame's size; mode 1 also clears what lies outside the turned frame); any other
// mode reads the overlay pixel directly when there is no turn.

__kernel void overlay(__read_only image2d_t bg, __read_only image2d_t ovl, __write_only image2d_t dst, int width,
                      int height, float theta, int mode, int blendingMode, float kRender_Alpha, int ovlAlphaPreMul,
                      int inPlace) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= width || y >= height || x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    // The host passes the background as the output too when inPlace is set; every item reads
    // only its own pixel before writing it.
    (void)inPlace;
    const float2 size = (float2)(width, height);
    const float2 tc = ((float2)(x, y) + 0.5f) / size;
    // The region: the frame widened by one pixel on each side.
    const float2 lo = -1.0f / size, hi = 1.0f + 1.0f / size;
    const float tempMatt = step(lo.x, tc.x) * step(tc.x, hi.x) * step(lo.y, tc.y) * step(tc.y, hi.y);
    const float2 centre = size * 0.5f;
    const float2 pos = rotateFunc(tc * size, centre, -theta * 0.0174532925199433f);
    float4 o;
    if (mode != 0 && mode != 1 && fabs(theta) < 1e-5f) {
        const int Wo = get_image_width(ovl), Ho = get_image_height(ovl);
        const float2 k = (float2)(width > 1 ? (float)(Wo - 1) / (width - 1) : 0.0f,
                                  height > 1 ? (float)(Ho - 1) / (height - 1) : 0.0f);
        o = read_imagef(ovl, samplerOVLN, convert_int2(k * ((float2)(x, y) + 0.5f)));
    } else {
        o = SampleBilinear(ovl, pos - 0.5f);
        if (mode == 1 && (pos.x < 0.0f || pos.y < 0.0f || pos.x > size.x || pos.y > size.y)) o = (float4)(0.0f);
    }
    const float4 b = read_imagef(bg, samplerBG, tc);
    write_imagef(dst, (int2)(x, y),
                 blendingFourChannel(b, o, tempMatt * o.w, tempMatt, 1.0f, blendingMode, kRender_Alpha, ovlAlphaPreMul));
}
