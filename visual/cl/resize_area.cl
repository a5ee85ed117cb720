// Area (box-sampling) reduction: every source pixel contributes in proportion to its overlap with
// the output pixel's footprint. The picture fills a region of real_dstWidth x real_dstHeight,
// centred in the output for resize types 1 and 4 (at the top-left otherwise); outside it the
// output is transparent.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// Output pixel (x, y) relative to the region; false outside it.
bool regionPixel(int x, int y, int resize_type, int dst_cols, int dst_rows, int real_dstWidth, int real_dstHeight,
                 int2* r) {
    int2 origin = (int2)(0, 0);
    if (resize_type == 1 || resize_type == 4) origin = (int2)((dst_cols - real_dstWidth) >> 1, (dst_rows - real_dstHeight) >> 1);
    *r = (int2)(x, y) - origin;
    return r->x >= 0 && r->y >= 0 && r->x < real_dstWidth && r->y < real_dstHeight;
}

// Exactly half the size on both sides: the mean of each 2 x 2 block.
__kernel void resizeAREA_FAST(__read_only image2d_t src, __write_only image2d_t dst, int samperType, int resize_type,
                              int src_rows, int src_cols, int dst_rows, int dst_cols, int real_dstWidth,
                              int real_dstHeight) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= dst_cols || y >= dst_rows) return;
    int2 r;
    float4 v = (float4)(0.0f);
    if (regionPixel(x, y, resize_type, dst_cols, dst_rows, real_dstWidth, real_dstHeight, &r)) {
        const int2 s = r * 2;
        v = (read_imagef(src, samplerOVLN, s) + read_imagef(src, samplerOVLN, s + (int2)(1, 0)) +
             read_imagef(src, samplerOVLN, s + (int2)(0, 1)) + read_imagef(src, samplerOVLN, s + (int2)(1, 1))) * 0.25f;
    }
    write_imagef(dst, (int2)(x, y), v);
}

// Any other reduction, through tables made on the host. For output column d the source columns
// are xsrc[k] with weights xalpha[k] for k in xstart[d] .. xstart[d + 1] - 1; rows likewise.
__kernel void resizeAREA(__read_only image2d_t src, __write_only image2d_t dst, int samperType, int resize_type,
                         int src_rows, int src_cols, int dst_rows, int dst_cols, int real_dstWidth, int real_dstHeight,
                         __global const int* xstart, __global const int* xsrc, __global const float* xalpha,
                         __global const int* ystart, __global const int* ysrc, __global const float* yalpha) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= dst_cols || y >= dst_rows) return;
    int2 r;
    float4 v = (float4)(0.0f);
    if (regionPixel(x, y, resize_type, dst_cols, dst_rows, real_dstWidth, real_dstHeight, &r)) {
        for (int ky = ystart[r.y]; ky < ystart[r.y + 1]; ++ky) {
            float4 row = (float4)(0.0f);
            for (int kx = xstart[r.x]; kx < xstart[r.x + 1]; ++kx)
                row += xalpha[kx] * read_imagef(src, samplerOVLN, (int2)(xsrc[kx], ysrc[ky]));
            v += yalpha[ky] * row;
        }
    }
    write_imagef(dst, (int2)(x, y), v);
}
