// Resize of a semi-planar 4:2:0 frame (luma plane, interleaved U, V pairs), 8-bit (NV12) and
// 16-bit (P010, samples in the high bits). Type 0 stretches; types 1 (fit) and 4 (zoom) place the
// scaled picture in a window centred as the BGRA resize centres it, with its corner on an even
// sample so that luma and chroma stay co-sited. Outside the window luma is black (16 << (bits - 8),
// or 0 when rangeMode is 1) and chroma neutral. Inside, each plane is sampled with pixel centres
// aligned, the nearest sample for samperType 0, else bilinearly; the even work items write the
// chroma pair of their 2 x 2 block.

#define PLANE_SAMPLE(NAME, T)                                                                      \
    float NAME(__global const T* p, int pitch, int step, int w, int h, float2 s, int nearest) {    \
        if (nearest) {                                                                             \
            const int2 i = clamp(convert_int2(floor(s + 0.5f)), (int2)(0, 0), (int2)(w - 1, h - 1)); \
            return p[i.y * pitch + i.x * step];                                                    \
        }                                                                                          \
        const float2 f0 = floor(s);                                                                \
        const float2 f = s - f0;                                                                   \
        const int2 i = convert_int2(f0);                                                           \
        const int x0 = clamp(i.x, 0, w - 1) * step, x1 = clamp(i.x + 1, 0, w - 1) * step;          \
        const int y0 = clamp(i.y, 0, h - 1) * pitch, y1 = clamp(i.y + 1, 0, h - 1) * pitch;        \
        const float a = p[y0 + x0], b = p[y0 + x1], c = p[y1 + x0], d = p[y1 + x1];                \
        const float top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;                           \
        return top + (bottom - top) * f.y;                                                         \
    }
PLANE_SAMPLE(sample8, uchar)
PLANE_SAMPLE(sample16, ushort)

// The window (x, y, width, height) of the scaled picture in the output.
int4 resizeWindow(int type, int Win, int Hin, int Wout, int Hout) {
    int4 r = (int4)(0, 0, Wout, Hout);
    if (type == 1) {
        const int h = (Hin * Wout + Win - 1) / Win;
        if (h <= Hout) {
            r.s1 = (Hout - h) >> 1;
            r.s3 = h;
        } else {
            const int w = min(Wout, (Win * Hout + Hin - 1) / Hin);
            r.s0 = (Wout - w) >> 1;
            r.s2 = w;
        }
    } else if (type == 4) {
        if (Wout < Hout) {
            const int w = max(1, Win * Hout / Hin);
            r.s0 = (Wout - w) >> 1;
            r.s2 = w;
        } else {
            const int h = max(1, Hin * Wout / Win);
            r.s1 = (Hout - h) >> 1;
            r.s3 = h;
        }
    }
    r.s0 &= ~1;
    r.s1 &= ~1;
    return r;
}

#define NV12_RESIZE(NAME, T, SAMPLE, CONVERT, BITS)                                                            \
    __kernel void NAME(__global const T* srcY, __global const T* srcUV, __global T* dstY, __global T* dstUV,    \
                       int srcWidth, int srcHeight, int dstWidth, int dstHeight, int samperType,               \
                       int resize_type, int rangeMode) {                                                       \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const int nearest = samperType == 0;                                                                   \
        const int4 win = resizeWindow(resize_type, srcWidth, srcHeight, dstWidth, dstHeight);                  \
        const int lx = x - win.s0, ly = y - win.s1;                                                            \
        const float black = rangeMode == 1 ? 0.0f : (float)(16 << (BITS - 8));                                 \
        float luma = black;                                                                                    \
        if (lx >= 0 && ly >= 0 && lx < win.s2 && ly < win.s3) {                                                \
            const float2 s = (float2)((lx + 0.5f) * srcWidth / win.s2 - 0.5f,                                  \
                                      (ly + 0.5f) * srcHeight / win.s3 - 0.5f);                                \
            luma = SAMPLE(srcY, srcWidth, 1, srcWidth, srcHeight, s, nearest);                                 \
        }                                                                                                      \
        dstY[y * dstWidth + x] = CONVERT(luma);                                                                \
        if ((x & 1) || (y & 1)) return;                                                                        \
        const int cx = x >> 1, cy = y >> 1;                                                                    \
        const int scw = (srcWidth + 1) >> 1, sch = (srcHeight + 1) >> 1;                                       \
        const int ww = (win.s2 + 1) >> 1, wh = (win.s3 + 1) >> 1;                                              \
        const int wx = cx - (win.s0 >> 1), wy = cy - (win.s1 >> 1);                                            \
        float u = (float)(1 << (BITS - 1)), v = u;                                                             \
        if (wx >= 0 && wy >= 0 && wx < ww && wy < wh) {                                                        \
            const float2 c = (float2)((wx + 0.5f) * scw / ww - 0.5f, (wy + 0.5f) * sch / wh - 0.5f);           \
            u = SAMPLE(srcUV, 2 * scw, 2, scw, sch, c, nearest);                                               \
            v = SAMPLE(srcUV + 1, 2 * scw, 2, scw, sch, c, nearest);                                           \
        }                                                                                                      \
        const int dcp = 2 * ((dstWidth + 1) >> 1);                                                             \
        dstUV[cy * dcp + 2 * cx] = CONVERT(u);                                                                 \
        dstUV[cy * dcp + 2 * cx + 1] = CONVERT(v);                                                             \
    }
NV12_RESIZE(NV12Resize, uchar, sample8, convert_uchar_sat_rte, 8)
NV12_RESIZE(NV12Resize_16, ushort, sample16, convert_ushort_sat_rte, 16)
