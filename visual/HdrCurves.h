#pragma once
// The transfer curves and the tone mapper of the HDR programs, compiled as C++ from the same
// source (visual/cl/hdr_curves.cl) so that the CPU cube files and the tests use the GPU formulas.
#include <cmath>

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
