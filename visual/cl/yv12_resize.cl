// Stretch of a planar 4:2:0 frame (planes Y, V, U, as a YV12 frame stores them, and A for YUVA)
// in 8-bit and 16-bit samples. Every plane is scaled on its own with pixel centres aligned: sample (x, y) reads
// ((x + 0.5) * src / dst - 0.5, likewise y), the nearest sample for samperType 0, else the bilinear
// mix of four. Pitches are in samples; chroma rows hold (ypitch + 1) / 2 samples, which is half
// the luma pitch for even widths and still right for odd ones.

#define PLANE_SAMPLE(NAME, T)                                                                      \
    float NAME(__global const T* p, int pitch, int w, int h, float2 s, int nearest) {              \
        if (nearest) {                                                                             \
            const int2 i = clamp(convert_int2(floor(s + 0.5f)), (int2)(0, 0), (int2)(w - 1, h - 1)); \
            return p[i.y * pitch + i.x];                                                           \
        }                                                                                          \
        const float2 f0 = floor(s);                                                                \
        const float2 f = s - f0;                                                                   \
        const int2 i = convert_int2(f0);                                                           \
        const int x0 = clamp(i.x, 0, w - 1), x1 = clamp(i.x + 1, 0, w - 1);                        \
        const int y0 = clamp(i.y, 0, h - 1), y1 = clamp(i.y + 1, 0, h - 1);                        \
        const float a = p[y0 * pitch + x0], b = p[y0 * pitch + x1];                                \
        const float c = p[y1 * pitch + x0], d = p[y1 * pitch + x1];                                \
        const float top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;                           \
        return top + (bottom - top) * f.y;                                                         \
    }
PLANE_SAMPLE(sample8, uchar)
PLANE_SAMPLE(sample16, ushort)

// Source position of destination sample (x, y) for a plane of sw x sh onto dw x dh.
float2 centreMap(int x, int y, int sw, int sh, int dw, int dh) {
    return (float2)((x + 0.5f) * sw / dw - 0.5f, (y + 0.5f) * sh / dh - 0.5f);
}

// ALPHA(...) keeps its arguments for the four-plane form (YUVA), whose alpha plane is scaled as luma.
#define WITH_ALPHA(...) __VA_ARGS__
#define NO_ALPHA(...)
#define YV12_RESIZE(NAME, T, SAMPLE, CONVERT, ALPHA)                                                           \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       ALPHA(__global const T* srcA, ) __global T* dstY, __global T* dstV, __global T* dstU,  \
                       ALPHA(__global T* dstA, ) int srcWidth, int srcHeight, int dstWidth, int dstHeight,    \
                       int samperType, int srcypitch, int dstypitch) {                                        \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const int nearest = samperType == 0;                                                                   \
        const float2 s = centreMap(x, y, srcWidth, srcHeight, dstWidth, dstHeight);                            \
        dstY[y * dstypitch + x] = CONVERT(SAMPLE(srcY, srcypitch, srcWidth, srcHeight, s, nearest));           \
        ALPHA(dstA[y * dstypitch + x] = CONVERT(SAMPLE(srcA, srcypitch, srcWidth, srcHeight, s, nearest));)    \
        if ((x & 1) || (y & 1)) return;                                                                        \
        const int cx = x >> 1, cy = y >> 1;                                                                    \
        const int scw = (srcWidth + 1) >> 1, sch = (srcHeight + 1) >> 1;                                       \
        const int dcw = (dstWidth + 1) >> 1, dch = (dstHeight + 1) >> 1;                                       \
        const int scp = (srcypitch + 1) >> 1, dcp = (dstypitch + 1) >> 1;                                      \
        const float2 c = centreMap(cx, cy, scw, sch, dcw, dch);                                                \
        dstU[cy * dcp + cx] = CONVERT(SAMPLE(srcU, scp, scw, sch, c, nearest));                                \
        dstV[cy * dcp + cx] = CONVERT(SAMPLE(srcV, scp, scw, sch, c, nearest));                                \
    }
YV12_RESIZE(YV12Resize, uchar, sample8, convert_uchar_sat_rte, NO_ALPHA)
YV12_RESIZE(YV12Resize_UINT16, ushort, sample16, convert_ushort_sat_rte, NO_ALPHA)
YV12_RESIZE(YUVAResize, uchar, sample8, convert_uchar_sat_rte, WITH_ALPHA)
