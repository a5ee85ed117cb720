#include "bgra_image.cl"
#include "channel_tables.cl"

// The effect folds the four groups' levels into one table per channel for the frame (the gray
// curve's pow per byte value runs on the host), so each channel is one lookup.
__kernel void video_effect_adjust_levels(__read_only image2d_t src, __write_only image2d_t dst, __constant uchar* m_b,
                                         __constant uchar* m_g, __constant uchar* m_r) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    store_bgra(dst, x, y, map_channels(p, m_b, m_g, m_r));
}
