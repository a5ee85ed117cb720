#pragma once
// Pixel-format conversions: the colour mode of a colour description and the kernel choices that
// the CPU and GPU paths share.
//
// Colour mode (CLSMode) from (system, levels) after a Dolby Vision system (8) takes the system its
// primaries imply (BT.709 primaries -> BT.709, BT.601 primaries -> BT.601):
//   full:    BT.709 -> 1, BT.601 -> 3, BT.2020 -> 5
//   limited: BT.709 -> 0, BT.601 -> 2, BT.2020 -> 4
// and none (-1) otherwise, which sends 8-bit input through caller-supplied matrices.
#include <cstdint>

#include "colorspace.h"
#include "orvex/EffectFrame.h"

namespace orvex {

int32_t ColorModeOf(const ColorSpace::pl_color_repr& repr, const ColorSpace::pl_color_space& space);

// Index into the kernels' matrix tables (0 BT.2020 limited, 1 BT.709 limited, 2 BT.601 limited,
// 3..5 the same full range); modes 6..11 act as 0..5, any other as BT.601 limited.
int32_t ColorMatrixIndex(int32_t mode);
// True for the full-range modes (1, 3, 5 and 7, 9, 11).
bool IsFullRangeMode(int32_t mode);

// The 8-bit YV12 kernel for a scaling of inW x inH onto outW x outH: quality 2 drops to 1 unless
// the output is below half the input on both sides; then 1 -> "YV12ToBGRAL", 2 and 3 ->
// "YV12ToBGRA_High", any other -> "YV12ToBGRAN". The NV12 kernels follow the same rule.
const char* YV12KernelFor(int32_t quality, int inW, int inH, int outW, int outH);
const char* NV12KernelFor(int32_t quality, int inW, int inH, int outW, int outH);
// The suffix of the 16-bit kernel families: 1 -> "_mid", 2 and 3 -> "_high", others "_low".
const char* Yuv16KernelSuffix(int32_t quality);

}  // namespace orvex
