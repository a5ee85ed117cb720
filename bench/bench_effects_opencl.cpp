// Every creatable built-in effect with an OpenCL body at 1920x1080: its CPU body and its OpenCL
// body on textures, in the same run. The OpenCL time includes waiting for the kernel, not the
// transfers. On PoCL the OpenCL device is the CPU, so its figures are CPU figures.
//
// The anchor is the device's own plain BGRA copy kernel at the same size (opencl/copy_kernel):
// each OpenCL row reports x_copy, its time over the copy's (one copy after each frame), which means
// the same on PoCL as on a GPU. first_ms is the row's first frame (program build and kernel
// creation), kept out of the steady per-frame time.
//
//   build/bench/bench_effects_opencl [--benchmark_filter=REGEX]
#include <cstdio>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"
#include "host/kit/kit.h"
#include "host/log/log.h"
#include "opencl_anchor.h"
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
    orvexbench::RunOpenCLRow(state, name, [&] { return e->ProcessOpenCL(0, s.inTexture, s.outTexture) == orvex::Ok; });
    s.lab->ReleaseOrvexEffect(e);
}

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    Setup& s = TheSetup();
    s.factory = orvexbench::MakeOpenCLFactory();
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
    // Measured (and its first frame spent) before any row.
    if (orvexbench::PrepareCopyAnchor(s.inTexture, s.outTexture)) orvexbench::RegisterCopyKernelRow();

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
    benchmark::AddCustomContext("opencl_device", orvexbench::DeviceName(s.factory.get()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orvexbench::ReleaseCopyAnchor();
    s.inTexture.reset();
    s.outTexture.reset();
    ReleaseOrvex(s.lab);
    orvex::g_atlu_factory = nullptr;
    return 0;
}
