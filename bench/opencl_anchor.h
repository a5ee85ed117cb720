#pragma once
// What the OpenCL benchmarks share: the device (a GPU or accelerator when there is one, else the
// CPU OpenCL device, PoCL here) and its own plain 1080p BGRA copy kernel, the anchor every OpenCL
// row is divided by. A row reports x_copy (its steady time over the copy's, which means the same
// on PoCL as on a GPU) and first_ms (its first frame: program build and kernel creation).
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "zrp/zrp.h"

namespace orvexbench {

// A factory for OpenCL alone, or null when the machine has no OpenCL device.
std::unique_ptr<zrp::ATLUFactory> MakeOpenCLFactory();
// The device's name, for the benchmark context.
std::string DeviceName(zrp::ATLUFactory* factory);

// Registers the copy program with the library's factory (g_atlu_factory) and measures the copy of
// `in` into `out` (both 1080p BGRA textures): the median of 15 runs after a warm-up, for the copy's
// own row. False when the device refuses the program; the OpenCL rows then carry no ratio.
bool PrepareCopyAnchor(const zrp::TexturePtr& in, const zrp::TexturePtr& out);
// The copy's steady time in ms (0 before PrepareCopyAnchor succeeded).
double CopyKernelMs();
// Lets go of the anchor's textures (before their factory goes).
void ReleaseCopyAnchor();
// The benchmark row of the copy itself: "opencl/copy_kernel".
void RegisterCopyKernelRow();

inline double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Runs the OpenCL row named `row`: the first call of `frame` timed on its own (first_ms), then the
// steady frames, each followed by one copy kernel timed apart: x_copy is the frames' time over the
// copies'. `frame` returns false on failure, which ends the row with an error.
void RunOpenCLRow(benchmark::State& state, const std::string& row, const std::function<bool()>& frame);

}  // namespace orvexbench
