// Repacking without a colour matrix: P010 to NV12, YV12 to NV12, and the red-blue swap of BGRA.

// P010 -> NV12: every sample keeps its normalised value (16-bit words to bytes, rounded).
__kernel void P010_NV12(__global const ushort* srcY, __global const ushort* srcUV, __global uchar* dstY,
                        __global uchar* dstUV, int width, int height) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= width || y >= height) return;
    dstY[y * width + x] = convert_uchar_sat_rte(srcY[y * width + x] * (255.0f / 65535.0f));
    if ((x & 1) || (y & 1)) return;
    const int c = (y >> 1) * 2 * ((width + 1) >> 1) + x;
    dstUV[c] = convert_uchar_sat_rte(srcUV[c] * (255.0f / 65535.0f));
    dstUV[c + 1] = convert_uchar_sat_rte(srcUV[c + 1] * (255.0f / 65535.0f));
}

// YV12 (planes Y, V, U) -> NV12 (Y, U V pairs) of the same size.
__kernel void YV12ToNV12(__global const uchar* srcY, __global const uchar* srcV, __global const uchar* srcU,
                         __global uchar* dstY, __global uchar* dstUV, int src_width, int src_height, int dst_width,
                         int dst_height) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= dst_width || y >= dst_height || x >= src_width || y >= src_height) return;
    dstY[y * dst_width + x] = srcY[y * src_width + x];
    if ((x & 1) || (y & 1)) return;
    const int s = (y >> 1) * ((src_width + 1) >> 1) + (x >> 1);
    const int d = (y >> 1) * 2 * ((dst_width + 1) >> 1) + x;
    dstUV[d] = srcU[s];
    dstUV[d + 1] = srcV[s];
}

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// Red and blue trade places; alpha stays.
__kernel void bgr_to_rgb(__read_only image2d_t src, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), read_imagef(src, samplerOVLN, (int2)(x, y)).zyxw);
}
