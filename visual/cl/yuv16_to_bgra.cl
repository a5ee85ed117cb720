// YUV with the matrices of `colormatrix` to BGRA, for the 16-bit formats (P010, YV12P10, YUVAP10)
// and the 4:2:2 formats, scaling to the output image in the same pass: _low nearest, _mid
// bilinear, _high box-averaged luma with bilinear chroma. Samples are normalised by 1 / (M - 1)
// for M = 2^bits; the matrix takes (Y - yoffset, Cb - 0.5, Cr - 0.5).

float4 matrixToRgb(float4 s, float norm, int colormatrix, float yoffset, int hasAlpha) {
    const float3 yuv = (float3)(s.x * norm - yoffset, s.y * norm - 0.5f, s.z * norm - 0.5f);
    const float3 rgb = mul_mat(yuv2rgbmat[clamp(colormatrix, 0, 5)], yuv);
    return clamp((float4)(rgb, hasAlpha ? s.w * norm : 1.0f), 0.0f, 1.0f);
}

// P010: each word holds its significant bits at the top; bitscale = 2^(16 - bits) brings them down.
#define P010_TO_RGB(NAME, KIND)                                                                                \
    __kernel void NAME(__global const ushort* srcY, __global const ushort* srcUV, __write_only image2d_t dst,  \
                       int colormatrix, float yoffset, int yuvwidth, int yuvheight, int bitscale) {           \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        const int dw = get_image_width(dst), dh = get_image_height(dst);                                       \
        if (x >= dw || y >= dh) return;                                                                        \
        const float4 s = sampleYUVA16(srcY, srcUV, srcUV + 1, srcY, 0, yuvwidth, 2 * ((yuvwidth + 1) >> 1), 2, \
                                      1, yuvwidth, yuvheight, dw, dh, x, y, KIND);                             \
        const float scale = (float)max(bitscale, 1);                                                           \
        const float norm = 1.0f / (65536.0f / scale - 1.0f);                                                   \
        write_imagef(dst, (int2)(x, y), matrixToRgb(s / scale, norm, colormatrix, yoffset, 0));        \
    }
P010_TO_RGB(p010_to_rgb_low, 0)
P010_TO_RGB(p010_to_rgb_mid, 1)
P010_TO_RGB(p010_to_rgb_high, 2)

// Planar buffers with the low `bits` bits of each sample significant; chroma rows hold
// (ypitch + 1) / 2 samples. CHROMA_ROWS is 1 for 4:2:0, 0 for 4:2:2.
#define PLANAR_TO_RGB(NAME, T, SAMPLER, KIND, CHROMA_ROWS)                                                     \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __write_only image2d_t dst, int colormatrix, float yoffset, int yuvwidth, int yuvheight, \
                       int ypitch, int maxvalue_bits) {                                                       \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        const int dw = get_image_width(dst), dh = get_image_height(dst);                                       \
        if (x >= dw || y >= dh) return;                                                                        \
        const float4 s = SAMPLER(srcY, srcU, srcV, srcY, 0, ypitch, (ypitch + 1) >> 1, 1, CHROMA_ROWS,         \
                                 yuvwidth, yuvheight, dw, dh, x, y, KIND);                                     \
        write_imagef(dst, (int2)(x, y), matrixToRgb(s, 1.0f / (maxvalue_bits - 1), colormatrix, yoffset, 0));  \
    }
#define PLANAR_ALPHA_TO_RGB(NAME, T, SAMPLER, KIND, CHROMA_ROWS)                                               \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __global const T* srcA, __write_only image2d_t dst, int colormatrix, float yoffset,    \
                       int yuvwidth, int yuvheight, int ypitch, int maxvalue_bits) {                          \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        const int dw = get_image_width(dst), dh = get_image_height(dst);                                       \
        if (x >= dw || y >= dh) return;                                                                        \
        const float4 s = SAMPLER(srcY, srcU, srcV, srcA, 1, ypitch, (ypitch + 1) >> 1, 1, CHROMA_ROWS,         \
                                 yuvwidth, yuvheight, dw, dh, x, y, KIND);                                     \
        write_imagef(dst, (int2)(x, y), matrixToRgb(s, 1.0f / (maxvalue_bits - 1), colormatrix, yoffset, 1));  \
    }
PLANAR_TO_RGB(yv12_to_rgb_ushort_low, ushort, sampleYUVA16, 0, 1)
PLANAR_TO_RGB(yv12_to_rgb_ushort_mid, ushort, sampleYUVA16, 1, 1)
PLANAR_TO_RGB(yv12_to_rgb_ushort_high, ushort, sampleYUVA16, 2, 1)
PLANAR_ALPHA_TO_RGB(yuva_to_rgb_ushort_low, ushort, sampleYUVA16, 0, 1)
PLANAR_ALPHA_TO_RGB(yuva_to_rgb_ushort_mid, ushort, sampleYUVA16, 1, 1)
PLANAR_ALPHA_TO_RGB(yuva_to_rgb_ushort_high, ushort, sampleYUVA16, 2, 1)
PLANAR_TO_RGB(yuv422_to_rgb_uchar, uchar, sampleYUVA8, 0, 0)
PLANAR_TO_RGB(yuv422_to_rgb_ushort, ushort, sampleYUVA16, 0, 0)
PLANAR_ALPHA_TO_RGB(yuva422_to_rgb_uchar, uchar, sampleYUVA8, 0, 0)
PLANAR_ALPHA_TO_RGB(yuva422_to_rgb_ushort, ushort, sampleYUVA16, 0, 0)
