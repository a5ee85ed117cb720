// Frame blending for frame-rate conversion: out = frame0 (1 - factor) + frame1 factor per sample,
// rounded to nearest (ties to even). Pitches in samples; 4:2:0 chroma rows hold (ypitch + 1) / 2
// samples, NV12 chroma rows twice that.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void rgba_frame_interpolation(__read_only image2d_t frame0, __read_only image2d_t frame1,
                                       __write_only image2d_t dst, int ypitch, int dst_height, float factor) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 a = read_imagef(frame0, samplerOVLN, (int2)(x, y));
    const float4 b = read_imagef(frame1, samplerOVLN, (int2)(x, y));
    write_imagef(dst, (int2)(x, y), b * factor + a * (1.0f - factor));
}

#define MIX(CONV, p0, p1, i) CONV((float)p1[i] * factor + (float)p0[i] * (1.0f - factor))

#define NV12_INTERPOLATION(NAME, T, CONV)                                                                     \
    __kernel void NAME(__global const T* y0, __global const T* uv0, __global const T* y1,                     \
                       __global const T* uv1, __global T* dstY, __global T* dstUV, int ypitch, int dst_height, \
                       float factor) {                                                                        \
        const int x = get_global_id(0), y = get_global_id(1);                                                 \
        if (x >= ypitch || y >= dst_height) return;                                                           \
        const int i = y * ypitch + x;                                                                         \
        dstY[i] = MIX(CONV, y0, y1, i);                                                                       \
        if ((x & 1) || (y & 1)) return;                                                                       \
        const int cp = ((ypitch + 1) >> 1) * 2;                                                               \
        const int c = (y >> 1) * cp + x;                                                                      \
        dstUV[c] = MIX(CONV, uv0, uv1, c);                                                                    \
        if (x + 1 < cp) dstUV[c + 1] = MIX(CONV, uv0, uv1, c + 1);                                            \
    }

NV12_INTERPOLATION(frame_interpolation, uchar, convert_uchar_sat_rte)
NV12_INTERPOLATION(frame_interpolation_16, ushort, convert_ushort_sat_rte)

#define PLANAR_MIX_BODY(CONV)                                                                                 \
    const int x = get_global_id(0), y = get_global_id(1);                                                     \
    if (x >= ypitch || y >= dst_height) return;                                                               \
    const int i = y * ypitch + x;                                                                             \
    dstY[i] = MIX(CONV, y0, y1, i);                                                                           \
    if (a0) dstA[i] = MIX(CONV, a0, a1, i);                                                                   \
    if ((x & 1) || (y & 1)) return;                                                                           \
    const int c = (y >> 1) * ((ypitch + 1) >> 1) + (x >> 1);                                                  \
    dstU[c] = MIX(CONV, u0, u1, c);                                                                           \
    dstV[c] = MIX(CONV, v0, v1, c);

#define YV12_INTERPOLATION(NAME, T, CONV)                                                                     \
    __kernel void NAME(__global const T* y0, __global const T* v0, __global const T* u0, __global const T* y1, \
                       __global const T* v1, __global const T* u1, __global T* dstY, __global T* dstV,        \
                       __global T* dstU, int ypitch, int dst_height, float factor) {                          \
        __global const T* a0 = 0;                                                                             \
        __global const T* a1 = 0;                                                                             \
        __global T* dstA = 0;                                                                                 \
        PLANAR_MIX_BODY(CONV)                                                                                 \
    }

#define YUVA_INTERPOLATION(NAME, T, CONV)                                                                     \
    __kernel void NAME(__global const T* y0, __global const T* v0, __global const T* u0, __global const T* a0, \
                       __global const T* y1, __global const T* v1, __global const T* u1, __global const T* a1, \
                       __global T* dstY, __global T* dstV, __global T* dstU, __global T* dstA, int ypitch,    \
                       int dst_height, float factor) {                                                        \
        PLANAR_MIX_BODY(CONV)                                                                                 \
    }

YV12_INTERPOLATION(yv12_frame_interpolation, uchar, convert_uchar_sat_rte)
YV12_INTERPOLATION(yv12_frame_interpolation_UINT16, ushort, convert_ushort_sat_rte)
YUVA_INTERPOLATION(yuva_frame_interpolation, uchar, convert_uchar_sat_rte)
YUVA_INTERPOLATION(yuva_frame_interpolation_UINT16, ushort, convert_ushort_sat_rte)
