// Offset: out(x, y) = in((x + dx) mod w, (y + dy) mod h), dx = floor(w/2) - nearest(w X) taken mod w,
// with X = 0.5 - shift_center_to_x (X up to a whole number of frames); the colour mixed back with
// the unshifted input: nearest(s (1 - k) + i k), k = blend_alpha; alpha stays the shifted one.
#pragma OPENCL FP_CONTRACT OFF

#include "rgba_image.cl"

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
