#include "bgra_image.cl"
#include "saturate_float.cl"
#include "luma.cl"
#include "hls8.cl"
#include "channel_tables.cl"

// The three tables are built by the effect (once per parameter change); with "reverse" the
// mapped colour keeps the unprocessed pixel's HLS lightness.
__kernel void video_effect_color_correction_color_balance(__read_only image2d_t src, __write_only image2d_t dst,
                                                          __constant uchar* m_r, __constant uchar* m_g,
                                                          __constant uchar* m_b, int reverse) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int4 m = map_channels(p, m_b, m_g, m_r);
    if (reverse) {
        int3 hlsIn = bgr_to_hls8(p.x, p.y, p.z);
        int3 hlsMapped = bgr_to_hls8(m.x, m.y, m.z);
        int3 bgr = hls8_to_bgr(hlsMapped.x, hlsIn.y, hlsMapped.z);
        m = (int4)(bgr.x, bgr.y, bgr.z, p.w);
    }
    store_bgra(dst, x, y, m);
}
