// Assembled from kernels/effects/offset.cl and kernels/common/: edit those.
// Offset: out(x, y) = in((x + dx) mod w, (y + dy) mod h), dx = floor(w/2) - nearest(w X) taken mod w,
// with X = 0.5 - shift_center_to_x (X up to a whole number of frames); the colour mixed back with
// the unshifted input: nearest(s (1 - k) + i k), k = blend_alpha; alpha stays the shifted one.
#pragma OPENCL FP_CONTRACT OFF

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes in
// the image's lane order. Samples lie in 0..1, so +0.5 and truncation round them (a rounding-mode
// conversion costs a CPU device such as PoCL far more).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

float4 Bytes(read_only image2d_t img, int x, int y) {
    return convert_float4(LoadPixel(img, x, y));
}

int Wrap(int v, int n) {
    const int r = v % n;
    return r < 0 ? r + n : r;
}

__kernel void video_effect_offset(read_only image2d_t src, write_only image2d_t dst, float shift_center_to_x,
                                  float shift_center_to_y, float blend_alpha) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    // Halves round up: the CPU body's halves-away-from-zero for the fractions 0..1 of the frame.
    const int dx = Wrap(w / 2 - (int)floor((float)w * (0.5f - shift_center_to_x) + 0.5f), w);
    const int dy = Wrap(h / 2 - (int)floor((float)h * (0.5f - shift_center_to_y) + 0.5f), h);
    // x + dx < 2 w: one subtraction wraps it, where a remainder would be an integer division.
    const int sx = x + dx >= w ? x + dx - w : x + dx, sy = y + dy >= h ? y + dy - h : y + dy;
    const int4 s = LoadPixel(src, sx, sy);
    int4 o = s;
    if (blend_alpha > 0.0f) {
        const float4 i = convert_float4(LoadPixel(src, x, y));
        const int4 m = convert_int4(round(convert_float4(s) * (1.0f - blend_alpha) + i * blend_alpha));
        o = (int4)(m.xyz, s.w);
    }
    StorePixel(dst, x, y, o);
}
