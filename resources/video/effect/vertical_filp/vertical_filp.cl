// Vertical flip: out(x, y) = in(x, h - 1 - y), whole pixels.
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void video_effect_vertical_filp(read_only image2d_t src, write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    // Reading and writing the same normalised value moves the bytes unchanged.
    write_imagef(dst, (int2)(x, y), read_imagef(src, kNearest, (int2)(x, h - 1 - y)));
}
