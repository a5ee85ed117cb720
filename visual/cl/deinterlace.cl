// Deinterlacing by line blending: output row y >= 1 is the average of input rows y - 1 and y,
// rounded to nearest (ties to even); row 0 is copied. Chroma rows blend the same way at their
// own resolution and are written by the items of even columns and rows; alpha is copied. Pitches
// are in samples; 4:2:0 chroma rows hold (ypitch + 1) / 2 samples. "mode" selects nothing yet: every
// mode blends.

#define BLEND_ROWS(T, CONV, plane, index, pitch, row) \
    ((row) == 0 ? plane[index] : CONV(((float)plane[index] + (float)plane[(index) - (pitch)]) * 0.5f))

#define NV12_DEINTERLACE(NAME, T, CONV)                                                                       \
    __kernel void NAME(__global const T* srcY, __global const T* srcUV, __global T* dstY, __global T* dstUV,  \
                       int mode, int ypitch, int height) {                                                    \
        const int x = get_global_id(0), y = get_global_id(1);                                                 \
        if (x >= ypitch || y >= height) return;                                                               \
        const int i = y * ypitch + x;                                                                         \
        dstY[i] = BLEND_ROWS(T, CONV, srcY, i, ypitch, y);                                                    \
        if ((x & 1) || (y & 1)) return;                                                                       \
        const int cp = ((ypitch + 1) >> 1) * 2, cy = y >> 1;                                                  \
        const int c = cy * cp + x;                                                                            \
        dstUV[c] = BLEND_ROWS(T, CONV, srcUV, c, cp, cy);                                                     \
        if (x + 1 < cp) dstUV[c + 1] = BLEND_ROWS(T, CONV, srcUV, c + 1, cp, cy);                             \
    }

NV12_DEINTERLACE(Deinterlace, uchar, convert_uchar_sat_rte)
NV12_DEINTERLACE(Deinterlace_16, ushort, convert_ushort_sat_rte)

#define PLANAR_BODY(T, CONV)                                                                                  \
    const int x = get_global_id(0), y = get_global_id(1);                                                     \
    if (x >= ypitch || y >= height) return;                                                                   \
    const int i = y * ypitch + x;                                                                             \
    dstY[i] = BLEND_ROWS(T, CONV, srcY, i, ypitch, y);                                                        \
    if (srcA) dstA[i] = srcA[i];                                                                              \
    if ((x & 1) || (y & 1)) return;                                                                           \
    const int cp = (ypitch + 1) >> 1, cy = y >> 1;                                                            \
    const int c = cy * cp + (x >> 1);                                                                         \
    dstU[c] = BLEND_ROWS(T, CONV, srcU, c, cp, cy);                                                           \
    dstV[c] = BLEND_ROWS(T, CONV, srcV, c, cp, cy);

#define YV12_DEINTERLACE(NAME, T, CONV)                                                                       \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                \
                       __global T* dstY, __global T* dstV, __global T* dstU, int mode, int ypitch,            \
                       int height) {                                                                          \
        __global const T* srcA = 0;                                                                           \
        __global T* dstA = 0;                                                                                 \
        PLANAR_BODY(T, CONV)                                                                                  \
    }

#define YUVA_DEINTERLACE(NAME, T, CONV)                                                                       \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                \
                       __global const T* srcA, __global T* dstY, __global T* dstV, __global T* dstU,          \
                       __global T* dstA, int mode, int ypitch, int height) {                                  \
        PLANAR_BODY(T, CONV)                                                                                  \
    }

YV12_DEINTERLACE(yv12_frame_deinterlace, uchar, convert_uchar_sat_rte)
YV12_DEINTERLACE(yv12_frame_deinterlace_UINT16, ushort, convert_ushort_sat_rte)
YUVA_DEINTERLACE(yuva_frame_deinterlace, uchar, convert_uchar_sat_rte)
YUVA_DEINTERLACE(yuva_frame_deinterlace_UINT16, ushort, convert_ushort_sat_rte)
