// Quarter turns and mirrors of planar 4:2:0 frames (planes Y, V, U, then A for the yuva kernels),
// 8-bit and 16-bit. rotateType: 0 90 degrees clockwise, 1 180, 2 270 clockwise, 3 mirror
// left-right, 4 mirror top-bottom, anything else as 0. The caller sizes the output (width and
// height swapped for the quarter turns); each plane moves within its own size. Pitches are in
// samples; chroma rows hold (pitch + 1) / 2 samples.

// The source sample that output sample (x, y) shows, for a source plane of w x h.
int2 turnSource(int x, int y, int w, int h, int rotateType) {
    switch (rotateType) {
    case 1: return (int2)(w - 1 - x, h - 1 - y);
    case 2: return (int2)(w - 1 - y, x);
    case 3: return (int2)(w - 1 - x, y);
    case 4: return (int2)(x, h - 1 - y);
    default: return (int2)(y, h - 1 - x);
    }
}

// Clamped so that an output sized wrongly still reads inside the input.
int turnIndex(int x, int y, int w, int h, int pitch, int rotateType) {
    const int2 s = clamp(turnSource(x, y, w, h, rotateType), (int2)(0, 0), (int2)(w - 1, h - 1));
    return s.y * pitch + s.x;
}

#define TURN_BODY                                                                                              \
    const int x = get_global_id(0), y = get_global_id(1);                                                      \
    if (x >= dstWidth || y >= dstHeight) return;                                                               \
    const int li = turnIndex(x, y, srcWidth, srcHeight, inypitch, rotateType);                                 \
    dstY[y * outypitch + x] = srcY[li];                                                                        \
    if (srcA) dstA[y * outypitch + x] = srcA[li];                                                              \
    if ((x & 1) || (y & 1)) return;                                                                            \
    const int cx = x >> 1, cy = y >> 1;                                                                        \
    const int ci = turnIndex(cx, cy, (srcWidth + 1) >> 1, (srcHeight + 1) >> 1, (inypitch + 1) >> 1, rotateType); \
    const int co = cy * ((outypitch + 1) >> 1) + cx;                                                           \
    dstU[co] = srcU[ci];                                                                                       \
    dstV[co] = srcV[ci];

#define YV12_ROTATE(NAME, T)                                                                                   \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __global T* dstY, __global T* dstV, __global T* dstU, int inypitch, int outypitch,      \
                       int srcWidth, int srcHeight, int dstWidth, int dstHeight, int rotateType) {             \
        __global const T* srcA = 0;                                                                            \
        __global T* dstA = 0;                                                                                  \
        TURN_BODY                                                                                              \
    }

#define YUVA_ROTATE(NAME, T)                                                                                   \
    __kernel void NAME(__global const T* srcY, __global const T* srcV, __global const T* srcU,                 \
                       __global const T* srcA, __global T* dstY, __global T* dstV, __global T* dstU,           \
                       __global T* dstA, int inypitch, int outypitch, int srcWidth, int srcHeight,             \
                       int dstWidth, int dstHeight, int rotateType) {                                          \
        TURN_BODY                                                                                              \
    }

YV12_ROTATE(yv12_rotate, uchar)
YV12_ROTATE(yv12_rotate_UINT16, ushort)
YUVA_ROTATE(yuva_rotate, uchar)
YUVA_ROTATE(yuva_rotate_UINT16, ushort)
