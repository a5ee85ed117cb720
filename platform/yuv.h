#pragma once
// The host's YUV conversion library as this library calls it. The arguments follow libyuv:
// plane pointers each followed by its pitch in bytes, then sizes in pixels of the luma plane,
// then options. Every function returns 0 on success and non-zero on bad arguments (null planes,
// sizes below 1, pitches shorter than a row).
//
// Chroma planes are named by content, U = Cb and V = Cr. A YV12 frame stores V in plane 1 and U
// in plane 2, so callers pass plane 2 as U and plane 1 as V, except to imageYV12ToNV12, which
// takes the planes in YV12 storage order.
//
// 8-bit BGRA ("RGB", "ARGB") destinations hold bytes B, G, R, A per pixel with alpha 255.
// 16-bit data (P010, ARGB64) is little-endian 16-bit words; P010 keeps its 10 bits in the high
// bits of each word.
#include <cstdint>

// YV12 (planar 4:2:0) to 8-bit BGRA, one function per matrix and range. Rows may be converted in
// stripes by offsetting the pointers, as long as each stripe starts on an even row.
int imageYV12ToRGBBT601_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU,
                                const uint8_t* srcV, int pitchV, uint8_t* dst, int dstPitch, int width, int height);
int imageYV12ToRGBBT601_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU, const uint8_t* srcV,
                             int pitchV, uint8_t* dst, int dstPitch, int width, int height);
int imageYV12ToRGBBT709_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU,
                                const uint8_t* srcV, int pitchV, uint8_t* dst, int dstPitch, int width, int height);
int imageYV12ToRGBBT709_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU, const uint8_t* srcV,
                             int pitchV, uint8_t* dst, int dstPitch, int width, int height);
int imageYV12ToRGBBT2020_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU,
                                 const uint8_t* srcV, int pitchV, uint8_t* dst, int dstPitch, int width, int height);
int imageYV12ToRGBBT2020_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcU, int pitchU, const uint8_t* srcV,
                              int pitchV, uint8_t* dst, int dstPitch, int width, int height);

// NV12 (luma plane and interleaved U, V pairs) to 8-bit BGRA.
int imageNV12ToRGBBT601_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                                int dstPitch, int width, int height);
int imageNV12ToRGBBT601_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                             int dstPitch, int width, int height);
int imageNV12ToRGBBT709_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                                int dstPitch, int width, int height);
int imageNV12ToRGBBT709_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                             int dstPitch, int width, int height);
int imageNV12ToRGBBT2020_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                                 int dstPitch, int width, int height);
int imageNV12ToRGBBT2020_FULL(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                              int dstPitch, int width, int height);

// P010 to 16-bit B, G, R, A (alpha 65535) and back, BT.2020 limited range. The encoder averages
// the chroma of each 2x2 block.
int imageP010ToARGB64BT2020_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV,
                                    uint8_t* dst, int dstPitch, int width, int height);
// The same decode with the matrix of any standard (its Kr and Kb) and either range.
int imageP010ToARGB64(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst, int dstPitch,
                      int width, int height, double kr, double kb, bool fullRange);
int imageARGB64ToP010BT2020_Limited(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstUV,
                                    int pitchUV, int width, int height);

// Repacking without a colour matrix. imageYV12ToNV12 takes its source planes in YV12 storage
// order (Y, V, U) so that a frame's planes 0, 1, 2 go in as they are.
int imageYV12ToNV12(const uint8_t* srcY, int srcPitchY, const uint8_t* srcV, int srcPitchV, const uint8_t* srcU,
                    int srcPitchU, uint8_t* dstY, int dstPitchY, uint8_t* dstUV, int dstPitchUV, int width,
                    int height);
int imageNV12ToYV12(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV, uint8_t* dstY,
                    int dstPitchY, uint8_t* dstU, int dstPitchU, uint8_t* dstV, int dstPitchV, int width,
                    int height);

// Scaling. filter is the quality number: 0 nearest, 1 linear, 2 bilinear, 3 box (area average),
// as libyuv's FilterMode.
int imageYV12Resize(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU, const uint8_t* srcV,
                    int srcPitchV, int srcWidth, int srcHeight, uint8_t* dstY, int dstPitchY, uint8_t* dstU,
                    int dstPitchU, uint8_t* dstV, int dstPitchV, int dstWidth, int dstHeight, int filter);
// NV12 and P010 alike: sampleBytes is 1 for 8-bit samples and 2 for 16-bit ones.
int imageNV12Resize(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV, int srcWidth,
                    int srcHeight, uint8_t* dstY, int dstPitchY, uint8_t* dstUV, int dstPitchUV, int dstWidth,
                    int dstHeight, int filter, int sampleBytes);
// One 8-bit plane; sizes are the plane's own.
int ResizeOnlyOnePlane(const uint8_t* src, int srcPitch, int srcWidth, int srcHeight, uint8_t* dst, int dstPitch,
                       int dstWidth, int dstHeight, int filter);
// One plane of interleaved 8-bit U, V pairs; widths count pairs.
int ResizeUVPlane(const uint8_t* src, int srcPitch, int srcWidth, int srcHeight, uint8_t* dst, int dstPitch,
                  int dstWidth, int dstHeight, int filter);

// Quarter turns and mirrors of a planar 4:2:0 frame; width and height are the source's.
// rotateType: 0 90 degrees clockwise, 1 180, 2 270 clockwise, 3 mirror left-right, 4 mirror
// top-bottom, anything else as 0. sampleBytes is 1 for 8-bit samples and 2 for 16-bit ones.
int imageYV12Rotate(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU, const uint8_t* srcV,
                    int srcPitchV, uint8_t* dstY, int dstPitchY, uint8_t* dstU, int dstPitchU, uint8_t* dstV,
                    int dstPitchV, int width, int height, int rotateType, int sampleBytes);

// 8-bit BGRA to YV12 (planar 4:2:0), one function per matrix and range; alpha is ignored and the
// chroma of each 2x2 block is the conversion of its average colour. Rows may be converted in
// stripes as long as each stripe starts on an even row.
int imageRGBToYV12BT601_Limited(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU,
                                int pitchU, uint8_t* dstV, int pitchV, int width, int height);
int imageRGBToYV12BT601_FULL(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU, int pitchU,
                             uint8_t* dstV, int pitchV, int width, int height);
int imageRGBToYV12BT709_Limited(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU,
                                int pitchU, uint8_t* dstV, int pitchV, int width, int height);
int imageRGBToYV12BT709_FULL(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU, int pitchU,
                             uint8_t* dstV, int pitchV, int width, int height);
int imageRGBToYV12BT2020_Limited(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU,
                                 int pitchU, uint8_t* dstV, int pitchV, int width, int height);
int imageRGBToYV12BT2020_FULL(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstU,
                              int pitchU, uint8_t* dstV, int pitchV, int width, int height);
