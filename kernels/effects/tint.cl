#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

// target = trunc(Y (white - black) / 255 + black) per channel; the byte moves towards it by
// amount: ceil((in - target)(1 - amount / 100) + target), a whole number kept as it is.
int tint_channel(int in, int Y, int black, int white, real keep) {
    int target = sat_real(Y * ((white - black) / (real)255) + black);
    return sat_real(ceil((in - target) * keep + target));
}

__kernel void video_effect_tint(__read_only image2d_t src, __write_only image2d_t dst, int black_red,
                                int black_green, int black_blue, int white_red, int white_green, int white_blue,
                                float amount) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int Y = luma(p.x, p.y, p.z);
    real keep = 1 - (real)amount * (real)0.01;
    p.x = tint_channel(p.x, Y, black_blue, white_blue, keep);
    p.y = tint_channel(p.y, Y, black_green, white_green, keep);
    p.z = tint_channel(p.z, Y, black_red, white_red, keep);
    store_bgra(dst, x, y, p);
}
