// Quarter turns and mirrors of a semi-planar 4:2:0 frame (luma plane, interleaved U, V pairs),
// 8-bit (NV12Rotate) and 16-bit (NV12Rotate_16). rotateType as the planar rotation: 0 90 degrees
// clockwise, 1 180, 2 270 clockwise, 3 mirror left-right, 4 mirror top-bottom, anything else 0.
// Chroma pairs move as pairs within the chroma plane's own size.

int2 turnSource(int x, int y, int w, int h, int rotateType) {
    switch (rotateType) {
    case 1: return (int2)(w - 1 - x, h - 1 - y);
    case 2: return (int2)(w - 1 - y, x);
    case 3: return (int2)(w - 1 - x, y);
    case 4: return (int2)(x, h - 1 - y);
    default: return (int2)(y, h - 1 - x);
    }
}

int2 turnClamped(int x, int y, int w, int h, int rotateType) {
    return clamp(turnSource(x, y, w, h, rotateType), (int2)(0, 0), (int2)(w - 1, h - 1));
}

#define NV12_ROTATE(NAME, T)                                                                                   \
    __kernel void NAME(__global const T* srcY, __global const T* srcUV, __global T* dstY, __global T* dstUV,    \
                       int srcWidth, int srcHeight, int dstWidth, int dstHeight, int rotateType) {             \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const int2 s = turnClamped(x, y, srcWidth, srcHeight, rotateType);                                     \
        dstY[y * dstWidth + x] = srcY[s.y * srcWidth + s.x];                                                   \
        if ((x & 1) || (y & 1)) return;                                                                        \
        const int scw = (srcWidth + 1) >> 1, sch = (srcHeight + 1) >> 1;                                       \
        const int2 c = turnClamped(x >> 1, y >> 1, scw, sch, rotateType);                                      \
        const int si = c.y * 2 * scw + 2 * c.x;                                                                \
        const int di = (y >> 1) * 2 * ((dstWidth + 1) >> 1) + 2 * (x >> 1);                                   \
        dstUV[di] = srcUV[si];                                                                                 \
        dstUV[di + 1] = srcUV[si + 1];                                                                         \
    }

NV12_ROTATE(NV12Rotate, uchar)
NV12_ROTATE(NV12Rotate_16, ushort)
