#pragma once
// SDR2HDR, PQToHLG and HLGToPQ on host BGRA frames with the bytes of the double-precision body
// (hdr64::TransferSteps::Pixel, read and written as BGRAPlane does), without its nine or ten
// transcendental calls per pixel:
//   - Decode is a function of one input code: a table per transfer and input depth;
//   - Mix runs per pixel as it is (one pow at most);
//   - Encode followed by the rounding to an output code is a step function of Mix's result, since
//     Encode rises with its argument: the smallest argument of each output code is searched once
//     (against Encode itself, down to adjacent doubles) and a pixel's code is the number of those
//     thresholds at or below its argument.
// On AVX2 processors four pixels go at a time, Mix's pow by a series whose small error is settled
// against the thresholds (HdrTransferCpu.cpp says how). The tables are built on a transfer's first
// frame (up to a few hundred milliseconds of both cores for 16-bit output) and kept for the
// process. Pixels that SDR2HDR premultiplies by an alpha strictly between 0 and 1 are not in the
// tables: the AVX2 rows run Encode by the same series and settle the premultiplied code the same
// way; the plain rows take the plain Encode.
#include "orvex/EffectFrame.h"
#include "visual/HdrCurves.h"

namespace orvex {

// in and out: BGRA-like host frames (8 or 16 bits a sample, each its own) of one size. vectors
// false keeps to the plain rows (tests compare the two).
void HdrTransferFrame(const hdr64::TransferSteps& steps, const EffectFrame& in, EffectFrame& out,
                      bool vectors = true);

// The output code of the plain body for Mix result x (one channel of an opaque pixel), and the
// same through the tables; tests compare the two.
int HdrEncodeCodePlain(const hdr64::TransferSteps& steps, bool sixteenOut, double x);
int HdrEncodeCodeTabled(const hdr64::TransferSteps& steps, bool sixteenOut, double x);

}  // namespace orvex
