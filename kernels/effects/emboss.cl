#pragma OPENCL FP_CONTRACT OFF
#include "emboss.cl"

__kernel void video_effect_emboss(read_only image2d_t src, write_only image2d_t dst, int row_offset, int contrast,
                                  int alpha) {
    emboss_pixel(src, dst, row_offset, contrast, alpha, 0);
}
