// YUV to BGRA through caller-supplied matrices, for colour systems outside the fixed table:
// RGB = matrixC (matrixA (Y, Cb, Cr) + matrixB), with Y, Cb, Cr normalised by 255 and the
// matrices row-major. Planar frames have tight rows (chroma rows of (srcWidth + 1) / 2).

float4 applyMatrices(float4 s, __global const float* A, __global const float* B, __global const float* C) {
    const float3 v = (float3)(s.x, s.y, s.z) / 255.0f;
    const float3 t = (float3)(A[0] * v.x + A[1] * v.y + A[2] * v.z + B[0], A[3] * v.x + A[4] * v.y + A[5] * v.z + B[1],
                              A[6] * v.x + A[7] * v.y + A[8] * v.z + B[2]);
    const float3 rgb = (float3)(C[0] * t.x + C[1] * t.y + C[2] * t.z, C[3] * t.x + C[4] * t.y + C[5] * t.z,
                                C[6] * t.x + C[7] * t.y + C[8] * t.z);
    return clamp((float4)(rgb, 1.0f), 0.0f, 1.0f);
}

#define YV12_NORMAL(NAME, KIND)                                                                                \
    __kernel void NAME(__global const uchar* srcY, __global const uchar* srcV, __global const uchar* srcU,     \
                       __write_only image2d_t dst, __global const float* matrixA, __global const float* matrixB, \
                       __global const float* matrixC, int srcWidth, int srcHeight, int dstWidth, int dstHeight) { \
        const int x = get_global_id(0), y = get_global_id(1);                                                  \
        if (x >= dstWidth || y >= dstHeight) return;                                                           \
        const float4 s = sampleYUVA8(srcY, srcU, srcV, srcY, 0, srcWidth, (srcWidth + 1) >> 1, 1, 1, srcWidth, \
                                     srcHeight, dstWidth, dstHeight, x, y, KIND);                              \
        write_imagef(dst, (int2)(x, y), applyMatrices(s, matrixA, matrixB, matrixC));                                \
    }
YV12_NORMAL(YV12ToBGRAN_normal, 0)
YV12_NORMAL(YV12ToBGRAL_normal, 1)

__kernel void NV12ToRGB_Normal(__global const uchar* srcY, __global const uchar* srcUV, __write_only image2d_t dst,
                               __global const float* matrixA, __global const float* matrixB,
                               __global const float* matrixC, int srcWidth, int srcHeight, int dstWidth,
                               int dstHeight) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= dstWidth || y >= dstHeight) return;
    const float4 s = sampleYUVA8(srcY, srcUV, srcUV + 1, srcY, 0, srcWidth, 2 * ((srcWidth + 1) >> 1), 2, 1, srcWidth,
                                 srcHeight, dstWidth, dstHeight, x, y, 0);
    write_imagef(dst, (int2)(x, y), applyMatrices(s, matrixA, matrixB, matrixC));
}
