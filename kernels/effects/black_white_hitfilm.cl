#include "bgra_image.cl"
#include "saturate_real.cl"
#include "luma.cl"

// Each slider squared and scaled by 0.0001 (100 is a weight of 1); gray is the integer luma with
// each channel's term weighted by the three sliders around its hue.
__kernel void video_effect_black_white_hitfilm(__read_only image2d_t src, __write_only image2d_t dst,
                                               float red_percent, float yellow_percent, float green_percent,
                                               float cyan_percent, float blue_percent, float magenta_percent) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    real red = (real)red_percent * red_percent * (real)0.0001;
    real yellow = (real)yellow_percent * yellow_percent * (real)0.0001;
    real green = (real)green_percent * green_percent * (real)0.0001;
    real cyan = (real)cyan_percent * cyan_percent * (real)0.0001;
    real blue = (real)blue_percent * blue_percent * (real)0.0001;
    real magenta = (real)magenta_percent * magenta_percent * (real)0.0001;
    real wB = blue * cyan * magenta, wG = green * yellow * cyan, wR = yellow * red * magenta;
    int tb = (int)((real)p.x * (real)0.114), tg = (int)((real)p.y * (real)0.587), tr = (int)((real)p.z * (real)0.299);
    int gray = sat_real(tb * wB + tg * wG + tr * wR);
    store_bgra(dst, x, y, (int4)(gray, gray, gray, p.w));
}
