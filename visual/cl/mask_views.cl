// The mask editor's four views of a source and its mask, both sampled bilinearly at the output
// pixel's normalised centre; m is the mask's alpha.
//   alpha:     (m, m, m, m)
//   result:    source m
//   square:    o = source m over a checkerboard of cells 1/60 of the height (light 1, dark 204/255)
//   colormask: t = mix(source m, c m, a / 255), c = (r, g, b) / 255 opaque; t over the source

__constant sampler_t samplerOVL = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;

float2 centre(int x, int y, int w, int h) { return (float2)((x + 0.5f) / w, (y + 0.5f) / h); }

// Premultiplied t over b.
float4 blending(float4 b, float4 t) { return (float4)(t.xyz + b.xyz * (1.0f - t.w), t.w + (1.0f - t.w) * b.w); }

#define VIEW_PROLOGUE                                                                                         \
    const int x = get_global_id(0), y = get_global_id(1);                                                     \
    const int w = get_image_width(dst), h = get_image_height(dst);                                            \
    if (x >= w || y >= h) return;                                                                             \
    const float2 tc = centre(x, y, w, h);                                                                     \
    const float4 s = read_imagef(source, samplerOVL, tc);                                                     \
    const float m = read_imagef(mask, samplerOVL, tc).w;

__kernel void viewmaskasalpha_cl(__read_only image2d_t source, __read_only image2d_t mask,
                                 __write_only image2d_t dst) {
    VIEW_PROLOGUE
    write_imagef(dst, (int2)(x, y), (float4)(m, m, m, m));
}

__kernel void viewmaskasresult_cl(__read_only image2d_t source, __read_only image2d_t mask,
                                  __write_only image2d_t dst) {
    VIEW_PROLOGUE
    write_imagef(dst, (int2)(x, y), s * m);
}

__kernel void viewmaskassquare_cl(__read_only image2d_t source, __read_only image2d_t mask,
                                  __write_only image2d_t dst) {
    VIEW_PROLOGUE
    const int cx = (int)floor(tc.x * ((float)w / h) * 60.0f), cy = (int)floor(tc.y * 60.0f);
    const float v = ((cx + cy) & 1) ? 204.0f / 255.0f : 1.0f;
    write_imagef(dst, (int2)(x, y), blending((float4)(v, v, v, 1.0f), s * m));
}

__kernel void viewmaskascolormask_cl(__read_only image2d_t source, __read_only image2d_t mask,
                                     __write_only image2d_t dst, int mask_color_rgba_r, int mask_color_rgba_g,
                                     int mask_color_rgba_b, int mask_color_rgba_a) {
    VIEW_PROLOGUE
    const float4 c = (float4)(mask_color_rgba_r / 255.0f, mask_color_rgba_g / 255.0f, mask_color_rgba_b / 255.0f, 1.0f);
    const float4 t = mix(s * m, c * m, mask_color_rgba_a / 255.0f);
    write_imagef(dst, (int2)(x, y), blending(s, t));
}
