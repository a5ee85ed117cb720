// RGB primaries conversion of a BGRA frame: out = matrix * (R, G, B), alpha kept, no clamping
// (the image write saturates). The depths only say how the images store their samples, which
// the image reads and writes already normalise.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void change_colorspace(__read_only image2d_t src, __write_only image2d_t dst, __global const float* matrix,
                                int in_depth, int out_depth) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    const float r = matrix[0] * c.x + matrix[1] * c.y + matrix[2] * c.z;
    const float g = matrix[3] * c.x + matrix[4] * c.y + matrix[5] * c.z;
    const float b = matrix[6] * c.x + matrix[7] * c.y + matrix[8] * c.z;
    write_imagef(dst, (int2)(x, y), (float4)(r, g, b, c.w));
}
