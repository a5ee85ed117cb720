// A pixel region of a planar YUV frame scaled onto the whole output: 4:2:0 (YV12Crop), 4:2:2
// (YUV422Crop) and 4:2:0 with an alpha plane (YUVACROP), each in 8-bit and 16-bit samples.
// Planes in storage order: Y, V, U (then A). Output sample (x, y) reads the input point
// (x * scale_x + crop_x, y * scale_y + crop_y), its integer part clamped to the plane, bilinearly
// from the 2 x 2 samples there; chroma reads its own plane at the same point with the crop origin
// halved along each subsampled axis, so that it stays co-sited with luma. Pitches are in samples;
// chroma rows hold (pitch + 1) / 2 samples.

#define PLANE_SAMPLE(NAME, T)                                                                      \
    float NAME(__global const T* p, int pitch, int w, int h, float2 s) {                           \
        const float2 f0 = floor(s);                                                                \
        const float2 f = s - f0;                                                                   \
        const int2 i = convert_int2(f0);                                                           \
        const int x0 = clamp(i.x, 0, w - 1), x1 = clamp(i.x + 1, 0, w - 1);                        \
        const int y0 = clamp(i.y, 0, h - 1) * pitch, y1 = clamp(i.y + 1, 0, h - 1) * pitch;        \
        const float a = p[y0 + x0], b = p[y0 + x1], c = p[y1 + x0], d = p[y1 + x1];                \
        const float top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;                           \
        return top + (bottom - top) * f.y;                                                         \
    }
PLANE_SAMPLE(sample8, uchar)
PLANE_SAMPLE(sample16, ushort)

// Luma (and alpha) at (x, y); chroma when x, and y unless rows are not subsampled, are even.
// SHIFT_Y is 1 for 4:2:0 and 0 for 4:2:2.
#define CROP_BODY(T, SAMPLE, CONVERT, SHIFT_Y)                                                                 \
    const int x = get_global_id(0), y = get_global_id(1);                                                      \
    if (x >= dstWidth || y >= dstHeight) return;                                                               \
    const float2 s = (float2)(x * scale_x + crop_x, y * scale_y + crop_y);                                     \
    dstY[y * dypitch + x] = CONVERT(SAMPLE(srcY, sypitch, srcWidth, srcHeight, s));                            \
    if (srcA) dstA[y * dypitch + x] = CONVERT(SAMPLE(srcA, sypitch, srcWidth, srcHeight, s));                  \
    if ((x & 1) || (SHIFT_Y && (y & 1))) return;                                                               \
    const int cx = x >> 1, cy = y >> SHIFT_Y;                                                                  \
    const int scw = (srcWidth + 1) >> 1, sch = (srcHeight + SHIFT_Y) >> SHIFT_Y;                               \
    const int scp = (sypitch + 1) >> 1, dcp = (dypitch + 1) >> 1;                                              \
    const float2 c = (float2)(cx * scale_x + crop_x * 0.5f,                                                    \
                              cy * scale_y + (SHIFT_Y ? crop_y * 0.5f : crop_y));                              \
    dstU[cy * dcp + cx] = CONVERT(SAMPLE(srcU, scp, scw, sch, c));                                             \
    dstV[cy * dcp + cx] = CONVERT(SAMPLE(srcV, scp, scw, sch, c));

#define PLANAR_CROP(NAME, T, SAMPLE, CONVERT, SHIFT_Y)                                                         \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __global T* dstY, __global T* dstV, __global T* dstU, int srcWidth, int srcHeight,      \
                       int dstWidth, int dstHeight, float crop_x, float crop_y, float scale_x, float scale_y,  \
                       int sypitch, int dypitch) {                                                             \
        __global const T* srcA = 0;                                                                            \
        __global T* dstA = 0;                                                                                  \
        CROP_BODY(T, SAMPLE, CONVERT, SHIFT_Y)                                                                 \
    }

#define ALPHA_CROP(NAME, T, SAMPLE, CONVERT)                                                                   \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __global const T* srcA, __global T* dstY, __global T* dstV, __global T* dstU,           \
                       __global T* dstA, int srcWidth, int srcHeight, int dstWidth, int dstHeight,             \
                       float crop_x, float crop_y, float scale_x, float scale_y, int sypitch, int dypitch) {   \
        CROP_BODY(T, SAMPLE, CONVERT, 1)                                                                       \
    }

PLANAR_CROP(YV12Crop, uchar, sample8, convert_uchar_sat_rte, 1)
PLANAR_CROP(YV12Crop_UINT16, ushort, sample16, convert_ushort_sat_rte, 1)
PLANAR_CROP(YUV422Crop, uchar, sample8, convert_uchar_sat_rte, 0)
PLANAR_CROP(YUV422Crop_UINT16, ushort, sample16, convert_ushort_sat_rte, 0)
ALPHA_CROP(YUVACROP, uchar, sample8, convert_uchar_sat_rte)
ALPHA_CROP(YUVACROP_UINT16, ushort, sample16, convert_ushort_sat_rte)
