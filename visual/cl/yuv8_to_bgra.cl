// 8-bit YUV (YV12, YUVA420, NV12) to BGRA with the fixed-mode table of `mode`, scaling to the
// output in the same pass: N nearest, L / MID bilinear, High box-averaged luma. Samples are
// rounded to codes before the conversion, as the table is written for codes.

float4 fixedFromSample(float4 s, int mode) { return yuvToRgbFixed(rint(s.x), rint(s.y), rint(s.z), mode); }

#define YV12_TO_BGRA(NAME, KIND)                                                                               \
    __kernel void NAME(__global const uchar* srcY, __global const uchar* srcV, __global const uchar* srcU,     \
                       __write_only image2d_t dst, int srcWidth, int srcHeight, int dstWidth, int dstHeight,  \
                       int mode, int sypitch) {                                                               \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const float4 s = sampleYUVA8(srcY, srcU, srcV, srcY, 0, sypitch, (sypitch + 1) >> 1, 1, 1, srcWidth,   \
                                     srcHeight, dstWidth, dstHeight, x, y, KIND);                              \
        write_imagef(dst, (int2)(x, y), fixedFromSample(s, mode));                                             \
    }
YV12_TO_BGRA(YV12ToBGRAN, 0)
YV12_TO_BGRA(YV12ToBGRAL, 1)
YV12_TO_BGRA(YV12ToBGRA_High, 2)

#define YUVA_TO_BGRA(NAME, KIND)                                                                               \
    __kernel void NAME(__global const uchar* srcY, __global const uchar* srcV, __global const uchar* srcU,     \
                       __global const uchar* srcA, __write_only image2d_t dst, int srcWidth, int srcHeight,   \
                       int dstWidth, int dstHeight, int mode, int ypitch) {                                   \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const float4 s = sampleYUVA8(srcY, srcU, srcV, srcA, 1, ypitch, (ypitch + 1) >> 1, 1, 1, srcWidth,     \
                                     srcHeight, dstWidth, dstHeight, x, y, KIND);                              \
        float4 c = fixedFromSample(s, mode);                                                                   \
        c.w = rint(s.w) / 255.0f;                                                                              \
        write_imagef(dst, (int2)(x, y), c);                                                                    \
    }
YUVA_TO_BGRA(YUVAToBGRAN, 0)
YUVA_TO_BGRA(YUVAToBGRAL, 1)

// NV12: luma rows of `width` samples, chroma rows of (width + 1) / 2 pairs.
#define NV12_TO_BGRA(NAME, KIND)                                                                               \
    __kernel void NAME(__global const uchar* srcY, __global const uchar* srcUV, __write_only image2d_t dst,    \
                       int width, int height, int mode, int rgbWidth, int rgbHeight) {                        \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= rgbWidth || y >= rgbHeight) return;                                                           \
        const float4 s = sampleYUVA8(srcY, srcUV, srcUV + 1, srcY, 0, width, 2 * ((width + 1) >> 1), 2, 1,     \
                                     width, height, rgbWidth, rgbHeight, x, y, KIND);                          \
        write_imagef(dst, (int2)(x, y), fixedFromSample(s, mode));                                             \
    }
NV12_TO_BGRA(NV12ToRGB, 0)
NV12_TO_BGRA(NV12ToRGB_MID, 1)
NV12_TO_BGRA(NV12ToRGB_HIGH, 2)

// BGRA to NV12 at the same size with the standard matrix of `mode`; each even work item also
// writes the chroma pair of its 2x2 block from the block's average colour.
__kernel void RGBToNV12(__read_only image2d_t src, __global uchar* dstY, __global uchar* dstUV, int width, int height,
                        int mode) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= width || y >= height) return;
    const int cm = choosMode(mode);
    const float yoffset = cm < 3 ? 16.0f : 0.0f;
    const float3 rgb = read_imagef(src, samplerOVLN, (int2)(x, y)).xyz;
    dstY[y * width + x] = convert_uchar_sat_rte(mul_mat(rgb2yuvmat[cm], rgb).x * 255.0f + yoffset);
    if ((x & 1) || (y & 1)) return;
    float3 sum = 0.0f;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) sum += read_imagef(src, samplerOVLN, (int2)(x + i, y + j)).xyz;
    const float3 yuv = mul_mat(rgb2yuvmat[cm], sum * 0.25f);
    const int c = (y >> 1) * 2 * ((width + 1) >> 1) + x;
    dstUV[c] = convert_uchar_sat_rte(yuv.y * 255.0f + 128.0f);
    dstUV[c + 1] = convert_uchar_sat_rte(yuv.z * 255.0f + 128.0f);
}
