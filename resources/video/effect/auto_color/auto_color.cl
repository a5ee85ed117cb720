// Assembled from kernels/effects/auto_color.cl and kernels/common/: edit those.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// (B, G, R, A) bytes of one pixel. The samples lie in 0..1: +0.5 and truncation round them with no
// saturating conversion, which costs a CPU device (PoCL) about as much as the copy of the pixel.
int4 load_bgra(__read_only image2d_t img, int x, int y) {
    float4 p = read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f;
    return convert_int4((float4)(p.z, p.y, p.x, p.w));
}

void store_bgra(__write_only image2d_t img, int x, int y, int4 bgra) {
    float4 v = convert_float4(clamp(bgra, 0, 255)) / 255.0f;
    write_imagef(img, (int2)(x, y), (float4)(v.z, v.y, v.x, v.w));
}

// Blue, green and red each through their own byte table of the frame; alpha kept.
int4 map_channels(int4 p, __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r) {
    return (int4)(m_b[p.x], m_g[p.y], m_r[p.z], p.w);
}

// The effect builds the frame's tables from its measurement (gamma, stretch, square-root curve and
// the mix with the input), so each channel is one lookup.
__kernel void video_effect_auto_color(__read_only image2d_t src, __write_only image2d_t dst, __constant uchar* m_b,
                                      __constant uchar* m_g, __constant uchar* m_r) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y, map_channels(p, m_b, m_g, m_r));
}
