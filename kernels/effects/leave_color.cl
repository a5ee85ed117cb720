#include "bgra_image.cl"
#include "saturate.cl"
#include "luma.cl"

// Pixels farther than the tolerance from the kept colour mix towards their luma:
// sat(M[c][k] + M[Y][255 - k]) with k = trunc((1 - amount / 100) 255); k and the squared limit
// theta are the frame's, computed by the effect.
__kernel void video_effect_leave_color(__read_only image2d_t src, __write_only image2d_t dst, int red_leave,
                                       int green_leave, int blue_leave, int mix_k, int theta) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int k = mix_k;
    int dr = p.z - red_leave, dg = p.y - green_leave, db = p.x - blue_leave;
    if (dr * dr + dg * dg + db * db > theta) {
        int toGray = mul255(luma(p.x, p.y, p.z), 255 - k);
        p.x = sat(mul255(p.x, k) + toGray);
        p.y = sat(mul255(p.y, k) + toGray);
        p.z = sat(mul255(p.z, k) + toGray);
    }
    store_bgra(dst, x, y, p);
}
