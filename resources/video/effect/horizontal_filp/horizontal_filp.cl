// Assembled from kernels/effects/horizontal_filp.cl and kernels/common/: edit those.
// The flip effects and the visual process share one source for these kernels.
// Mirrors of a BGRA frame; input and output have one size.

__kernel void video_effect_horizontal_filp(__read_only image2d_t src, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(src), H = get_image_height(src);
    if (x >= W || y >= H || x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), read_imagef(src, (int2)(W - 1 - x, y)));
}

__kernel void video_effect_vertical_filp(__read_only image2d_t src, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(src), H = get_image_height(src);
    if (x >= W || y >= H || x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), read_imagef(src, (int2)(x, H - 1 - y)));
}

