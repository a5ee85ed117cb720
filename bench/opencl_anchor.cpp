#include "opencl_anchor.h"

#include <algorithm>
#include <map>
#include <vector>

#include "gpu/GpuDispatch.h"
#include "host/kit/kit.h"
#include "host/zrp/cl_backend.h"

namespace orvexbench {

namespace {

constexpr const char* kCopyKey = "bench_bgra_copy";
const char* const kCopySource = R"(
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
__kernel void bench_bgra_copy(read_only image2d_t src, write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), read_imagef(src, kNearest, (int2)(x, y)));
}
)";

zrp::TexturePtr g_in, g_out;
double g_copyMs = 0;

bool CopyOnce() {
    orvex::KernelArgs args;
    return orvex::DispatchEffectKernel(args.get(), kCopyKey, {g_in}, {g_out}) == 0;
}

void BM_CopyKernel(benchmark::State& state) {
    for (auto _ : state) CopyOnce();
    state.counters["x_copy"] = 1;
}

}  // namespace

std::unique_ptr<zrp::ATLUFactory> MakeOpenCLFactory() {
    orvexhost::KitOptions options;
    options.opengl = false;
    options.openclOnCpu = true;  // PoCL where there is no GPU
    return orvexhost::MakeFactory(options);
}

std::string DeviceName(zrp::ATLUFactory* factory) {
    const auto* device = dynamic_cast<zrp::OpenCLFactory*>(factory);
    return device ? device->device()->name : "unknown";
}

bool PrepareCopyAnchor(const zrp::TexturePtr& in, const zrp::TexturePtr& out) {
    g_in = in;
    g_out = out;
    if (!orvex::RegisterProgramSource(kCopySource, kCopyKey, orvex::OpenCL, zrp::kColorSpaceBGRA,
                                      zrp::kColorSpaceBGRA, 8, 8, 8, 8) ||
        !CopyOnce())
        return false;
    std::vector<double> runs;
    for (int i = 0; i < 15; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        CopyOnce();
        runs.push_back(MsSince(t0));
    }
    std::sort(runs.begin(), runs.end());
    g_copyMs = runs[runs.size() / 2];
    return g_copyMs > 0;
}

double CopyKernelMs() { return g_copyMs; }

void ReleaseCopyAnchor() {
    g_in.reset();
    g_out.reset();
}

void RegisterCopyKernelRow() {
    benchmark::RegisterBenchmark("opencl/copy_kernel", BM_CopyKernel)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void RunOpenCLRow(benchmark::State& state, const std::string& row, const std::function<bool()>& frame) {
    // The first frame of a row's first repetition builds its program; later repetitions find it
    // built, so they report that first figure again.
    static std::map<std::string, double> firstFrames;
    const auto first = std::chrono::steady_clock::now();
    if (!frame()) {
        state.SkipWithError("the OpenCL path failed");
        return;
    }
    const double firstMs = firstFrames.emplace(row, MsSince(first)).first->second;
    // Each frame is followed by one copy, timed apart and out of the row's time, so that other
    // load on the machine weighs on the row and its anchor alike.
    double frameMs = 0, copyMs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        frame();
        frameMs += MsSince(t0);
        state.PauseTiming();
        const auto t1 = std::chrono::steady_clock::now();
        CopyOnce();
        copyMs += MsSince(t1);
        state.ResumeTiming();
    }
    state.counters["first_ms"] = firstMs;
    if (g_copyMs > 0 && copyMs > 0) state.counters["x_copy"] = frameMs / copyMs;
}

}  // namespace orvexbench
