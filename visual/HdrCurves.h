#pragma once
// The transfer curves and the tone mapper of the HDR programs, compiled as C++ from the same
// source (visual/cl/hdr_curves.cl) so that the CPU cube files and the tests use the GPU formulas.
// hdr:: is the kernels' single precision; hdr64:: is the same source with every float a double,
// for the CPU conversions, whose 16-bit outputs would otherwise carry the float curves' error.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvex::hdr {
using std::exp;
using std::fmax;
using std::fmin;
using std::log;
using std::log10;
using std::pow;
using std::sqrt;
#include "visual/cl/hdr_curves.cl"
}  // namespace orvex::hdr

namespace orvex::hdr64 {
using std::exp;
using std::fmax;
using std::fmin;
using std::log;
using std::log10;
using std::pow;
using std::sqrt;
// The constants keep their float spelling (exact for the ST 2084 fractions); the arithmetic is
// double throughout.
#define float double
#include "visual/cl/hdr_curves.cl"
#undef float

// The per-pixel bodies of the SDR2HDR, PQToHLG and HLGToPQ kernels: rgb in 0..1 (red, green,
// blue), alpha 0..1; results clamped to 0..1.
void SDR2HDRPixel(int pqMode, int sdrMode, double rgb[3], double alpha);
void PQToHLGPixel(double rgb[3]);
void HLGToPQPixel(double rgb[3]);
}  // namespace orvex::hdr64
