#pragma once
// The fixed-point encoder behind the BGRA -> YV12 conversions (yuv_convert.cpp), open to the other
// 8-bit encoders of host/yuv: from BGRA bytes, Y = (yr R + yg G + yb B + yOffset) per pixel and
// C = (cr R + cg G + cb B) / 4 + 128 over the sums of each 2x2 block, with coefficients of 15
// fractional bits, rounded half up and saturated to a byte; an odd last row or column repeats.
// m holds the matrix as the kernels' tables do: rows Y, Cb, Cr, columns R, G, B, for samples and
// codes both normalised to 0..1. Cb goes to u and Cr to v, or both as pairs to u when v is null
// (NV12). Returns 0, or non-zero for bad arguments.
#include <cstdint>

int imageEncodeFixed420(const float m[3][3], int yOffset, const uint8_t* src, int srcPitch, uint8_t* y, int pitchY,
                        uint8_t* u, int pitchU, uint8_t* v, int pitchV, int width, int height);
