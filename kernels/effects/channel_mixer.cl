#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"

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
