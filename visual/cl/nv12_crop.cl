// A pixel region of a semi-planar 4:2:0 frame scaled onto the whole output, 8-bit (NV12Crop) and
// 16-bit (NV12Crop_16). Output sample (x, y) reads the input point (x * scale_x + roiX,
// y * scale_y + roiY), its integer part clamped to the plane, bilinearly from the 2 x 2 samples
// there; a chroma pair reads its own plane at (x * scale_x + roiX / 2, likewise y), so that chroma
// stays co-sited with luma whatever the crop.

#define PAIR_SAMPLE(NAME, T)                                                                       \
    float NAME(__global const T* p, int pitch, int step, int w, int h, float2 s) {                 \
        const float2 f0 = floor(s);                                                                \
        const float2 f = s - f0;                                                                   \
        const int2 i = convert_int2(f0);                                                           \
        const int x0 = clamp(i.x, 0, w - 1) * step, x1 = clamp(i.x + 1, 0, w - 1) * step;          \
        const int y0 = clamp(i.y, 0, h - 1) * pitch, y1 = clamp(i.y + 1, 0, h - 1) * pitch;        \
        const float a = p[y0 + x0], b = p[y0 + x1], c = p[y1 + x0], d = p[y1 + x1];                \
        const float top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;                           \
        return top + (bottom - top) * f.y;                                                         \
    }
PAIR_SAMPLE(sample8, uchar)
PAIR_SAMPLE(sample16, ushort)

#define NV12_CROP(NAME, T, SAMPLE, CONVERT)                                                                     \
    __kernel void NAME(__global const T* srcY, __global const T* srcUV, __global T* dstY, __global T* dstUV,     \
                       int src_width, int src_height, int dst_width, int dst_height, float roiX, float roiY,    \
                       float scale_x, float scale_y) {                                                          \
        const int x = get_global_id(0), y = get_global_id(1);                                                   \
        if (x >= dst_width || y >= dst_height) return;                                                          \
        const float2 s = (float2)(x * scale_x + roiX, y * scale_y + roiY);                                      \
        dstY[y * dst_width + x] = CONVERT(SAMPLE(srcY, src_width, 1, src_width, src_height, s));                \
        if ((x & 1) || (y & 1)) return;                                                                         \
        const int cx = x >> 1, cy = y >> 1;                                                                     \
        const int scw = (src_width + 1) >> 1, sch = (src_height + 1) >> 1;                                      \
        const float2 c = (float2)(cx * scale_x + roiX * 0.5f, cy * scale_y + roiY * 0.5f);                      \
        const int dcp = 2 * ((dst_width + 1) >> 1);                                                             \
        dstUV[cy * dcp + 2 * cx] = CONVERT(SAMPLE(srcUV, 2 * scw, 2, scw, sch, c));                             \
        dstUV[cy * dcp + 2 * cx + 1] = CONVERT(SAMPLE(srcUV + 1, 2 * scw, 2, scw, sch, c));                     \
    }
NV12_CROP(NV12Crop, uchar, sample8, convert_uchar_sat_rte)
NV12_CROP(NV12Crop_16, ushort, sample16, convert_ushort_sat_rte)
