#pragma once
// The vector bodies of the cube's three passes over BGRA rows. It computes exactly what the
// plain body computes, lane by lane (same float operations in the same order, no fused
// multiply-add), so both give the same bytes.
#include <cstdint>

namespace orvex::cuberows {

// Per byte value of one axis: the fraction, the lower grid entry's offset and the step to the
// upper one, in floats of the packed grid.
struct AxisEntry {
    float frac;
    uint32_t offset;
    uint32_t step;
};

struct TetraTables {
    const float* grid;     // packed: N^3 entries of four floats (blue, green, red, 0), 16-byte aligned
    const uint8_t* bytes;  // the packed grid as bytes (nearest pass only)
    int size;              // N
};

enum class Interpolation { Nearest, Trilinear, Tetrahedral };

// `pixels` BGRA pixels of one row: colour through the cube, premultiplied by the pixel's alpha
// (rounded (a*v + 127) / 255), alpha kept. Returns how many pixels it did (a multiple of 16);
// the caller finishes the rest with the plain body. src and dst are the same row or apart.
int CubeBGRAAvx512(const TetraTables& t, Interpolation mode, const uint8_t* src, uint8_t* dst, int pixels);
// The same with AVX2, 8 pixels at a time (returns a multiple of 8).
int CubeBGRAAvx2(const TetraTables& t, Interpolation mode, const uint8_t* src, uint8_t* dst, int pixels);

}  // namespace orvex::cuberows
