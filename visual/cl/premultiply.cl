// Alpha premultiplication. BGRA: alphaType 1 multiplies the colour by alpha, any other value makes
// alpha opaque. YUVA (planes Y, V, U, A; pitches in samples, chroma rows (ypitch + 1) / 2):
//   alphaType 1: Y = clamp((Y - y_min) A / max + y_min, y_min, max), C = (C - mid) A / max + mid,
//                chroma weighted by the alpha of its even-position luma sample; alpha kept
//   otherwise:   Y, U, V copied, A = max
// with max = 2^bits - 1, mid = 2^(bits - 1) and y_min given for 8 bits (scaled up for more).

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void Premultiply(__read_only image2d_t src, __write_only image2d_t dst, int alphaType) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    write_imagef(dst, (int2)(x, y), alphaType == 1 ? (float4)(c.xyz * c.w, c.w) : (float4)(c.xyz, 1.0f));
}

#define YUVA_PREMULTIPLY(NAME, T, CONV)                                                                       \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                \
                       __global const T* srcA, __global T* dstY, __global T* dstV, __global T* dstU,          \
                       __global T* dstA, int alphaType, int y_min, int ypitch, int height,                    \
                       int maxvalue_bits) {                                                                   \
        const int x = get_global_id(0), y = get_global_id(1);                                                 \
        if (x >= ypitch || y >= height) return;                                                               \
        const float maxv = (float)((1 << maxvalue_bits) - 1);                                                 \
        const float mid = (float)(1 << (maxvalue_bits - 1));                                                 \
        const float ymin = (float)(y_min << (maxvalue_bits - 8));                                             \
        const int i = y * ypitch + x;                                                                         \
        const int c = (y >> 1) * ((ypitch + 1) >> 1) + (x >> 1);                                              \
        const bool chroma = !(x & 1) && !(y & 1);                                                             \
        if (alphaType == 1) {                                                                                 \
            const float a = (float)srcA[i] / maxv;                                                            \
            dstY[i] = CONV(clamp(((float)srcY[i] - ymin) * a + ymin, ymin, maxv));                            \
            dstA[i] = srcA[i];                                                                                \
            if (chroma) {                                                                                     \
                dstU[c] = CONV(((float)srcU[c] - mid) * a + mid);                                             \
                dstV[c] = CONV(((float)srcV[c] - mid) * a + mid);                                             \
            }                                                                                                 \
        } else {                                                                                              \
            dstY[i] = srcY[i];                                                                                \
            dstA[i] = (T)maxv;                                                                                \
            if (chroma) {                                                                                     \
                dstU[c] = srcU[c];                                                                            \
                dstV[c] = srcV[c];                                                                            \
            }                                                                                                 \
        }                                                                                                     \
    }

YUVA_PREMULTIPLY(yuva_frame_premultiply, uchar, convert_uchar_sat_rte)
YUVA_PREMULTIPLY(yuva_frame_premultiply_UINT16, ushort, convert_ushort_sat_rte)
