// BGRA to YUV with the matrices of `colormatrix`, one work item per 2x2 block: four luma samples
// and one chroma pair from the block's average Cb and Cr. With M = 2^bits:
//   Y = sat(rne(y (M - 1) + yoffset)), C = sat(rne(c (M - 1) + M / 2)).
// Pixels past an odd edge are read clamped and not written.

// Planar: yoffset in codes; chroma rows hold (ypitch + 1) / 2 samples.
#define RGB_TO_PLANAR(NAME, T, CONVERT, ALPHA)                                                                 \
    __kernel void NAME(__read_only image2d_t src, __global T* dstY, __global T* dstV, __global T* dstU,        \
                       ALPHA(__global T* dstA, ) int ypitch, int colormatrix, int yoffset, int maxvalue_bits) {\
        const int bx = get_global_id(0), by = get_global_id(1);                                                \
        const int w = get_image_width(src), h = get_image_height(src);                                         \
        if (2 * bx >= w || 2 * by >= h) return;                                                                \
        const int cm = clamp(colormatrix, 0, 5);                                                               \
        const float top = maxvalue_bits - 1;                                                                   \
        float cb = 0.0f, cr = 0.0f;                                                                            \
        for (int j = 0; j < 2; ++j)                                                                            \
            for (int i = 0; i < 2; ++i) {                                                                      \
                const int x = 2 * bx + i, y = 2 * by + j;                                                      \
                const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));                                  \
                const float3 yuv = mul_mat(rgb2yuvmat[cm], c.xyz);                                             \
                cb += yuv.y;                                                                                   \
                cr += yuv.z;                                                                                   \
                if (x < w && y < h) {                                                                          \
                    dstY[y * ypitch + x] = CONVERT(clamp(yuv.x * top + yoffset, 0.0f, top));                   \
                    ALPHA(dstA[y * ypitch + x] = CONVERT(c.w * top);)                                          \
                }                                                                                              \
            }                                                                                                  \
        const int ci = by * ((ypitch + 1) >> 1) + bx;                                                          \
        const float mid = 0.5f * maxvalue_bits;                                                                \
        dstU[ci] = CONVERT(clamp(cb * 0.25f * top + mid, 0.0f, top));                                          \
        dstV[ci] = CONVERT(clamp(cr * 0.25f * top + mid, 0.0f, top));                                          \
    }
#define WITH_ALPHA(...) __VA_ARGS__
#define NO_ALPHA(...)
RGB_TO_PLANAR(rgb_to_yv12, uchar, convert_uchar_sat_rte, NO_ALPHA)
RGB_TO_PLANAR(rgb_to_yv12_10, ushort, convert_ushort_sat_rte, NO_ALPHA)
RGB_TO_PLANAR(rgb_to_yuva, uchar, convert_uchar_sat_rte, WITH_ALPHA)
RGB_TO_PLANAR(rgb_to_yuva_10, ushort, convert_ushort_sat_rte, WITH_ALPHA)

// Semi-planar (NV12, P010): yoffset and uvoffset normalised; codes are stored in the top bits of
// each sample (maxvalue_bits gives their number), as P010 keeps them.
#define RGB_TO_SEMI(NAME, T, CONVERT, STORAGE_BITS)                                                            \
    __kernel void NAME(__read_only image2d_t src, __global T* dstY, __global T* dstUV, int colormatrix,       \
                       float yoffset, float uvoffset, int maxvalue_bits) {                                    \
        const int bx = get_global_id(0), by = get_global_id(1);                                                \
        const int w = get_image_width(src), h = get_image_height(src);                                         \
        if (2 * bx >= w || 2 * by >= h) return;                                                                \
        const int cm = clamp(colormatrix, 0, 5);                                                               \
        const float top = maxvalue_bits - 1;                                                                   \
        const int shift = STORAGE_BITS - (31 - clz(maxvalue_bits));                                            \
        float cb = 0.0f, cr = 0.0f;                                                                            \
        for (int j = 0; j < 2; ++j)                                                                            \
            for (int i = 0; i < 2; ++i) {                                                                      \
                const int x = 2 * bx + i, y = 2 * by + j;                                                      \
                const float3 yuv = mul_mat(rgb2yuvmat[cm], read_imagef(src, samplerOVLN, (int2)(x, y)).xyz);   \
                cb += yuv.y;                                                                                   \
                cr += yuv.z;                                                                                   \
                if (x < w && y < h)                                                                            \
                    dstY[y * w + x] = CONVERT(clamp((yuv.x + yoffset) * top, 0.0f, top)) << shift;             \
            }                                                                                                  \
        const int ci = by * 2 * ((w + 1) >> 1) + 2 * bx;                                                       \
        dstUV[ci] = CONVERT(clamp((cb * 0.25f + uvoffset) * top, 0.0f, top)) << shift;                         \
        dstUV[ci + 1] = CONVERT(clamp((cr * 0.25f + uvoffset) * top, 0.0f, top)) << shift;                     \
    }
RGB_TO_SEMI(rgb_to_nv12, uchar, convert_uchar_sat_rte, 8)
RGB_TO_SEMI(rgb_to_p010, ushort, convert_ushort_sat_rte, 16)
