#pragma once
// Conversions between YUV and BGRA with the float colour matrices of the GPU programs, so that a
// host frame gives the picture the kernels give a texture: the 16-bit planar formats (10 bits at
// the bottom of each word), P010 (at the top), 4:2:2, and the NV12 and P010 encoders.
//
// colormatrix indexes the kernels' tables: 0 BT.2020, 1 BT.709, 2 BT.601 limited, 3..5 the same
// full range. Every function returns 0 on success and non-zero on bad arguments.
#include <cstdint>

// A YUV picture as the decoders read it. Chroma sample i of row r is at plane[1] (Cb) and
// plane[2] (Cr) + r * pitch + i * chromaStep samples, rows halved when chromaRowShift is 1.
// Semi-planar pictures pass the pair plane twice, Cr one sample after Cb, with chromaStep 2.
struct YuvMatrixPicture {
    const uint8_t* plane[4] = {};  // Y, Cb, Cr, A (A null: opaque)
    int pitch[4] = {};             // bytes
    int width = 0, height = 0;     // luma samples
    int sampleBytes = 1;           // 1 or 2
    int chromaStep = 1;
    int chromaRowShift = 1;        // 1 for 4:2:0, 0 for 4:2:2
};

// How the samples are read: a sample s is normalised as s * norm (1 / (M - 1) for M = 2^bits, and
// divided by 2^(16 - bits) more when the bits sit at the top of the word); yoffset is the
// normalised luma offset (0 for full range).
struct YuvMatrixScale {
    int colormatrix = 1;
    float norm = 1.0f / 255.0f;
    float yoffset = 0.0f;
};

// Decodes src onto dst (BGRA, 8-bit bytes or 16-bit words per channel by dstSampleBytes) of
// dstWidth x dstHeight. Output pixel (x, y) reads the source at ((x + 0.5) sw / dw - 0.5, likewise
// y): kind 0 the truncated sample, 1 the bilinear mix of four (chroma from the rows and columns at
// half the luma neighbours'), 2 luma and alpha averaged over ceil(sw / dw) x ceil(sh / dh) samples
// from the truncated corner with chroma as 1. RGB = yuv2rgbmat (Y - yoffset, Cb - 0.5, Cr - 0.5)
// clamped to 0..1, alpha from plane 3 or 1, each rounded to the nearest code.
int imageMatrixYuvToBGRA(const YuvMatrixPicture& src, const YuvMatrixScale& scale, uint8_t* dst, int dstPitch,
                         int dstSampleBytes, int dstWidth, int dstHeight, int kind);

// Encodes BGRA (srcSampleBytes 1 for 8-bit, 2 for 16-bit channels; alpha ignored) to a luma plane
// and a plane of Cb, Cr pairs with chroma from each 2x2 block's average, the rows and columns past
// an odd edge repeating the last. With M = 2^bits: Y = rne(clamp(y (M - 1) + yoffset)),
// C = rne(clamp(c (M - 1) + M / 2)) with yoffset = 16 * 2^(bits - 8) or 0 when full, each shifted
// up by `shift` bits (0 for NV12, 16 - bits for P010) and stored in dstSampleBytes. NV12 from 8-bit
// BGRA takes the fixed-point form of the same matrix (host/yuv/yuv_fixed_encode.h): the codes of
// the YV12 encoders, within one code of the formula.
int imageMatrixBGRAToSemiPlanar(const uint8_t* src, int srcPitch, int srcSampleBytes, uint8_t* dstY, int pitchY,
                                uint8_t* dstUV, int pitchUV, int dstSampleBytes, int width, int height,
                                int colormatrix, bool full, int bits, int shift);

// P010 (or any 16-bit semi-planar picture) to 8-bit NV12: every sample rne(s * 255 / 65535).
int imageP010ToNV12(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dstY,
                    int dstPitchY, uint8_t* dstUV, int dstPitchUV, int width, int height);
