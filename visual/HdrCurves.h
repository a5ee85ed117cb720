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

// The per-pixel bodies of the SDR2HDR, PQToHLG and HLGToPQ kernels, in three steps: each
// channel's signal to light (Decode), the step that mixes the channels (Mix), each channel's light
// to its output signal, clamped to 0..1 (Encode). Only Mix looks at more than one channel, which
// lets the frame routine tabulate Decode by input code and invert Encode by output code.
enum class Transfer { SDR2HDR, PQToHLG, HLGToPQ };

// SDR2HDR's source primaries (sdrMode 0: BT.601 625-line, 1: 525-line, else BT.709) to BT.2020,
// row-major.
const double* BT2020Matrix(int sdrMode);

// SDR2HDR's HLG target: the scale of its light onto the HLG reference white and the exponent of
// the inverse OOTF of a 1000 cd/m2 display.
struct HlgTarget {
    double scale, exponent;
};
const HlgTarget& SdrToHlg();

struct TransferSteps {
    Transfer op = Transfer::PQToHLG;
    int pqMode = 0, sdrMode = 0;  // SDR2HDR's target curve (1: PQ, else HLG) and source primaries

    double Decode(double v) const;
    void Mix(double rgb[3]) const;
    double Encode(double x) const;
    // The whole body: rgb in 0..1 (red, green, blue) becomes the output signal; SDR2HDR
    // premultiplies it by alpha, the other two leave alpha alone.
    void Pixel(double rgb[3], double alpha) const {
        for (int c = 0; c < 3; ++c) rgb[c] = Decode(rgb[c]);
        Mix(rgb);
        for (int c = 0; c < 3; ++c) rgb[c] = op == Transfer::SDR2HDR ? Encode(rgb[c]) * alpha : Encode(rgb[c]);
    }
};
}  // namespace orvex::hdr64
