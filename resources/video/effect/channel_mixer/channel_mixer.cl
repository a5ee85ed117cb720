// Assembled from kernels/effects/channel_mixer.cl and kernels/common/: edit those.
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

int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }

// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_trunc(float v) { return v >= 255.0f ? 255 : (v > 0.0f ? (int)v : 0); }
// rint (ties to even), then clamped; NaN gives 0.
int sat_rint(float v) { return sat_trunc(rint(v)); }

// The CPU bodies' integer luma: trunc(b 0.114) + trunc(g 0.587) + trunc(r 0.299), in integers
// (the same bytes for every channel value, since no product is within 1/500 of a whole number).
int luma(int b, int g, int r) { return b * 57 / 500 + g * 587 / 1000 + r * 299 / 1000; }

// out = clamp(trunc((R r + G g + B b + 255 const) / 100), 0, 255): integer arithmetic.
int mix_channel(int R, int G, int B, int r, int g, int b, int k) {
    int sum = R * r + G * g + B * b + k * 255;
    return sum <= 0 ? 0 : (sum >= 25600 ? 255 : sum / 100);
}

__kernel void video_effect_channel_mixer(__read_only image2d_t src, __write_only image2d_t dst,
                                         int red_channel_red, int red_channel_green, int red_channel_blue,
                                         int red_channel_const, int green_channel_red, int green_channel_green,
                                         int green_channel_blue, int green_channel_const, int blue_channel_red,
                                         int blue_channel_green, int blue_channel_blue, int blue_channel_const,
                                         int monochrome_flag) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int R = p.z, G = p.y, B = p.x;
    int r = mix_channel(R, G, B, red_channel_red, red_channel_green, red_channel_blue, red_channel_const);
    int g = monochrome_flag ? r
                            : mix_channel(R, G, B, green_channel_red, green_channel_green, green_channel_blue,
                                          green_channel_const);
    int b = monochrome_flag ? r
                            : mix_channel(R, G, B, blue_channel_red, blue_channel_green, blue_channel_blue,
                                          blue_channel_const);
    store_bgra(dst, x, y, (int4)(b, g, r, p.w));
}
