// Assembled from kernels/effects/black_white_hitfilm.cl and kernels/common/: edit those.
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

// gray = sat(trunc(b 0.114) wB + trunc(g 0.587) wG + trunc(r 0.299) wR), each weight the product of
// three squared sliders around the channel's hue; the effect builds it for every triple of luma
// terms (gray_table[(tb 150 + tg) 77 + tr]), so the kernel looks the sum up.
__kernel void video_effect_black_white_hitfilm(__read_only image2d_t src, __write_only image2d_t dst,
                                               __global const uchar* gray_table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int tb = p.x * 57 / 500, tg = p.y * 587 / 1000, tr = p.z * 299 / 1000;
    int gray = gray_table[(tb * 150 + tg) * 77 + tr];
    store_bgra(dst, x, y, (int4)(gray, gray, gray, p.w));
}
