// Every creatable built-in effect with an OpenCL body at 1920x1080: its CPU body and its OpenCL
// body on textures, in the same run. The OpenCL time includes waiting for the kernel, not the
// transfers. On PoCL the OpenCL device is the CPU, so its figures are CPU figures.
//
// The anchor is the device's own plain BGRA copy kernel at the same size (opencl/copy_kernel):
// each OpenCL row reports x_copy, its time over the copy's, which means the same on PoCL as on a
// GPU. first_ms is the row's first frame (program build and kernel creation), kept out of the
// steady per-frame time.
//
//   build/bench/bench_effects_opencl [--benchmark_filter=REGEX]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "host/kit/kit.h"
#include "host/zrp/cl_backend.h"
#include "host/log/log.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"
#include "orvex/orvex.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Setup {
    std::unique_ptr<zrp::ATLUFactory> factory;
    orvex::IOrvex* lab = nullptr;
    orvexhost::HostImage in = orvexhost::MakeHostImage(kWidth, kHeight);
    orvexhost::HostImage out = orvexhost::MakeHostImage(kWidth, kHeight);
    zrp::TexturePtr inTexture, outTexture;
};

Setup& TheSetup() {
    static Setup s;
    return s;
}

constexpr const char* kCopyKey = "bench_bgra_copy";
const char* const kCopySource = R"(
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
__kernel void bench_bgra_copy(read_only image2d_t src, write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), read_imagef(src, kNearest, (int2)(x, y)));
}
)";

bool CopyOnce() {
    Setup& s = TheSetup();
    orvex::KernelArgs args;
    return orvex::DispatchEffectKernel(args.get(), kCopyKey, {s.inTexture}, {s.outTexture}) == 0;
}

// The copy kernel's steady time in ms: the median of a few runs after a warm-up, measured once so
// that every row divides by the same figure.
double CopyMs() {
    static const double ms = [] {
        if (!CopyOnce()) return 0.0;
        std::vector<double> runs;
        for (int i = 0; i < 15; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            CopyOnce();
            runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }();
    return ms;
}

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_CopyKernel(benchmark::State& state) {
    for (auto _ : state) CopyOnce();
    state.counters["x_copy"] = 1;
}

void BM_Cpu(benchmark::State& state, std::string name) {
    Setup& s = TheSetup();
    orvex::IOrvexEffect* e = s.lab->CreateOrvexEffect(name.c_str());
    e->ProcessCPU(0, s.in.frame.get(), s.out.frame.get());  // first frame allocates scratch
    for (auto _ : state) {
        e->ProcessCPU(0, s.in.frame.get(), s.out.frame.get());
        benchmark::ClobberMemory();
    }
    s.lab->ReleaseOrvexEffect(e);
}

void BM_OpenCL(benchmark::State& state, std::string name) {
    Setup& s = TheSetup();
    orvex::IOrvexEffect* e = s.lab->CreateOrvexEffect(name.c_str());
    // The first dispatch builds the program and creates the kernel for this device: reported on
    // its own, not in the per-frame time.
    const auto first = std::chrono::steady_clock::now();
    if (e->ProcessOpenCL(0, s.inTexture, s.outTexture) != orvex::Ok) {
        state.SkipWithError("the OpenCL body failed");
        s.lab->ReleaseOrvexEffect(e);
        return;
    }
    const double firstMs = MsSince(first);
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) e->ProcessOpenCL(0, s.inTexture, s.outTexture);
    const double perFrame = MsSince(t0) / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["first_ms"] = firstMs;
    if (CopyMs() > 0) state.counters["x_copy"] = perFrame / CopyMs();
    s.lab->ReleaseOrvexEffect(e);
}

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    Setup& s = TheSetup();
    orvexhost::KitOptions options;
    options.opengl = false;
    options.openclOnCpu = true;  // PoCL where there is no GPU
    s.factory = orvexhost::MakeFactory(options);
    if (!s.factory) {
        std::fprintf(stderr, "bench_effects_opencl: no OpenCL device\n");
        return 0;
    }
    s.lab = CreateOrvex();
    const std::string resources = ORVEX_SOURCE_RESOURCES;
    s.lab->SetResourcePath(resources.c_str(), 0);
    s.lab->SetResourcePath((resources + "/video/effect").c_str(), 2);
    s.lab->SetATLUFactory(s.factory.get());
    cv::Mat pixels(kHeight, kWidth, CV_8UC4, s.in.pixels.data(), static_cast<size_t>(s.in.pitch));
    cv::randu(pixels, cv::Scalar::all(0), cv::Scalar::all(256));
    s.inTexture = orvexhost::UploadFrame(*s.factory, *s.in.frame);
    s.outTexture = orvexhost::CreateTextureLike(*s.factory, *s.out.frame);
    if (orvex::RegisterProgramSource(kCopySource, kCopyKey, orvex::OpenCL, zrp::kColorSpaceBGRA, zrp::kColorSpaceBGRA, 8,
                                     8, 8, 8) &&
        CopyMs() > 0)  // measured (and its first frame spent) before any row
        benchmark::RegisterBenchmark("opencl/copy_kernel", BM_CopyKernel)->Unit(benchmark::kMillisecond)->UseRealTime();

    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i) {
        if (!rows[i].create) continue;
        orvex::IOrvexEffect* e = s.lab->CreateOrvexEffect(rows[i].name);
        bool cpu = false, cl = false, gl = false;
        if (e) e->GetSupportedPaths(&cpu, &cl, &gl);
        s.lab->ReleaseOrvexEffect(e);
        if (!cl) continue;
        const std::string name = rows[i].name;
        const std::string shortName = name.substr(name.rfind('/') + 1);
        benchmark::RegisterBenchmark(("cpu/" + shortName).c_str(), BM_Cpu, name)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("opencl/" + shortName).c_str(), BM_OpenCL, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const auto* device = dynamic_cast<zrp::OpenCLFactory*>(s.factory.get());
    benchmark::AddCustomContext("opencl_device", device ? device->device()->name : "unknown");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s.inTexture.reset();
    s.outTexture.reset();
    ReleaseOrvex(s.lab);
    orvex::g_atlu_factory = nullptr;
    return 0;
}
