#pragma once
// The host-memory conversions that give the matrix kernels' picture (host/yuv's matrix
// conversions): the 16-bit and 4:2:2 formats and P010 to BGRA, BGRA to NV12 and P010, and P010
// to NV12. Each checks the frames, logs under its tag and leaves the output untouched on failure.
#include <cstdint>

#include "orvex/EffectFrame.h"
#include "orvex/ResultCode.h"

namespace orvex {

// YV12P10, YUVAP10, P010, YUV422, YUV422_16, YUVA422, YUVA422_16 to a BGRA-like frame in CLSMode
// `mode`, scaled in the same pass with the kernels' sampling `kind` (0 nearest, 1 bilinear, 2 box).
ResultCode MatrixYuvToBgraCpu(const char* tag, const EffectFrame& in, EffectFrame& out, int32_t mode, int kind);

// BGRA32 or BGRA64 to NV12 or P010 of the same size in CLSMode `mode`.
ResultCode BgraToSemiPlanarCpu(const EffectFrame& in, EffectFrame& out, int32_t mode);

// P010 to NV12 of the same size, as the "P010_NV12" kernel.
ResultCode P010ToNV12Cpu(const EffectFrame& in, EffectFrame& out);

}  // namespace orvex
