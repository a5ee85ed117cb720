// The frame operations that have CPU benchmarks, at 1920x1080 on the CPU and on OpenCL textures in
// the same run: YV12 and NV12 -> BGRA and back (BT.709 limited), resize to 1280x720 (bilinear and
// area), BlendAndTransform (an overlay turned 30 degrees, scaled 0.8, normal blend), HDR2SDR (PQ;
// the 33-point cube's tetrahedral pass on both: on OpenCL the cube's tables uploaded once, as a data
// texture). The OpenCL time includes waiting for the kernel, not transfers.
//
// Each OpenCL row reports x_copy, its steady time over the same device's plain BGRA copy kernel
// (opencl/copy_kernel), and first_ms, its first frame (program build and kernel creation). On
// PoCL the OpenCL device is the CPU, so its figures are CPU figures.
//
//   build/bench/bench_visual_opencl [--benchmark_filter=REGEX]
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "gpu/GpuDispatch.h"
#include "host/kit/kit.h"
#include "host/log/log.h"
#include "opencl_anchor.h"
#include "visual/VisualProcess.h"

namespace {

constexpr int kW = 1920, kH = 1080, kSmallW = 1280, kSmallH = 720;
constexpr double kTheta = 30, kScale = 0.8;
const orvex::fxPointd kCentre{0.5, 0.5};
const ColorSpace::pl_color_repr kBt709Limited{ColorSpace::PL_COLOR_SYSTEM_BT_709, ColorSpace::PL_COLOR_LEVELS_LIMITED,
                                              ColorSpace::PL_ALPHA_INDEPENDENT, {8, 8, 0}};
const ColorSpace::pl_color_space kSpace{ColorSpace::PL_COLOR_PRIM_BT_709, ColorSpace::PL_COLOR_TRC_BT_1886,
                                        ColorSpace::PL_COLOR_LIGHT_UNKNOWN, 0, 0, 0};

// A host frame over its own bytes, and its texture twin (made once, before any timing).
struct Frame {
    std::vector<uint8_t> bytes;
    orvex::EffectFrame host, gpu;
};

// fmt at w x h with random bytes in every plane (planes follow each other in one block).
Frame MakeFrame(zrp::ATLUFactory& factory, uint32_t fmt, int w, int h, uint64_t seed) {
    Frame f;
    orvex::EffectFrame& e = f.host;
    e.pixel_fmt = fmt;
    e.bitDepth = 8;
    e.width[0] = static_cast<uint32_t>(w);
    e.height[0] = static_cast<uint32_t>(h);
    size_t sizes[3] = {};
    if (fmt == orvex::BGRA32) {
        e.planes = 1;
        e.pitch[0] = w * 4;
        sizes[0] = static_cast<size_t>(w) * 4 * h;
    } else if (fmt == orvex::NV12) {
        e.planes = 2;
        e.pitch[0] = e.pitch[1] = w;
        e.height[1] = static_cast<uint32_t>(h / 2);
        sizes[0] = static_cast<size_t>(w) * h;
        sizes[1] = sizes[0] / 2;
    } else {  // YV12: Cr, then Cb
        e.planes = 3;
        e.pitch[0] = w;
        e.pitch[1] = e.pitch[2] = w / 2;
        e.height[1] = e.height[2] = static_cast<uint32_t>(h / 2);
        sizes[0] = static_cast<size_t>(w) * h;
        sizes[1] = sizes[2] = sizes[0] / 4;
    }
    f.bytes.resize(sizes[0] + sizes[1] + sizes[2]);
    cv::Mat all(1, static_cast<int>(f.bytes.size()), CV_8U, f.bytes.data());
    cv::RNG(seed).fill(all, cv::RNG::UNIFORM, 0, 256);
    size_t at = 0;
    for (uint32_t p = 0; p < e.planes; ++p) {
        e.data[p] = f.bytes.data() + at;
        at += sizes[p];
    }
    f.gpu = e;
    f.gpu.texture = orvexhost::UploadFrame(factory, e);
    return f;
}

struct Setup {
    std::unique_ptr<zrp::ATLUFactory> factory;
    orvex::VisualProcess vp;
    Frame bgra, background, out, small, yv12, nv12;
    orvex::EffectFrame none;
};

Setup& S() {
    static Setup s;
    return s;
}

using Op = std::function<orvex::ResultCode(orvex::VisualProcess&, bool gpu)>;

// One operation with its host frames (gpu false) or their textures (gpu true).
orvex::EffectFrame& On(Frame& f, bool gpu) { return gpu ? f.gpu : f.host; }

std::vector<std::pair<std::string, Op>> Operations() {
    Setup& s = S();
    return {
        {"yv12_to_bgra",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.Convert(kBt709Limited, kSpace, On(s.yv12, g), s.none, On(s.out, g), 0, 1);
         }},
        {"nv12_to_bgra",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.Convert(kBt709Limited, kSpace, On(s.nv12, g), s.none, On(s.out, g), 0, 1);
         }},
        {"bgra_to_yv12",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.Convert(kBt709Limited, kSpace, On(s.bgra, g), s.none, On(s.yv12, g), 0, 1);
         }},
        {"bgra_to_nv12",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.Convert(kBt709Limited, kSpace, On(s.bgra, g), s.none, On(s.nv12, g), 0, 1);
         }},
        {"resize/q1", [&s](orvex::VisualProcess& vp, bool g) { return vp.Resize(On(s.bgra, g), On(s.small, g), 0, 1); }},
        {"resize/q2", [&s](orvex::VisualProcess& vp, bool g) { return vp.Resize(On(s.bgra, g), On(s.small, g), 0, 2); }},
        {"blend_and_transform/bilinear",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.BlendAndTransform(On(s.bgra, g), kCentre, On(s.background, g), kCentre, false, On(s.out, g), 0,
                                         0, 1.0, 0, 1, kTheta, kScale, kScale, 0, 0);
         }},
        {"blend_and_transform/nearest",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.BlendAndTransform(On(s.bgra, g), kCentre, On(s.background, g), kCentre, false, On(s.out, g), 0,
                                         0, 1.0, 0, 0, kTheta, kScale, kScale, 0, 0);
         }},
        {"hdr2sdr/pq",
         [&s](orvex::VisualProcess& vp, bool g) {
             return vp.HDR2SDR(On(s.bgra, g), On(s.out, g), 1, ColorSpace::PL_COLOR_PRIM_BT_2020,
                               ColorSpace::PL_COLOR_PRIM_BT_709);
         }},
    };
}

void BM_Cpu(benchmark::State& state, Op op) {
    orvex::VisualProcess vp;
    vp.SetResourcePath(ORVEX_SOURCE_DIR);
    if (op(vp, false) != orvex::Ok) {  // first call loads the HDR cube
        state.SkipWithError("the CPU path failed");
        return;
    }
    for (auto _ : state) {
        op(vp, false);
        benchmark::ClobberMemory();
    }
}

void BM_OpenCL(benchmark::State& state, std::string row, Op op) {
    orvexbench::RunOpenCLRow(state, row, [&] { return op(S().vp, true) == orvex::Ok; });
}

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    Setup& s = S();
    s.factory = orvexbench::MakeOpenCLFactory();
    if (!s.factory) {
        std::fprintf(stderr, "bench_visual_opencl: no OpenCL device\n");
        return 0;
    }
    s.vp.SetATLUFactory(s.factory.get());
    s.vp.SetResourcePath(ORVEX_SOURCE_DIR);
    s.none.pixel_fmt = orvex::BGRA32;
    s.bgra = MakeFrame(*s.factory, orvex::BGRA32, kW, kH, 1);
    s.background = MakeFrame(*s.factory, orvex::BGRA32, kW, kH, 2);
    s.out = MakeFrame(*s.factory, orvex::BGRA32, kW, kH, 3);
    s.small = MakeFrame(*s.factory, orvex::BGRA32, kSmallW, kSmallH, 4);
    s.yv12 = MakeFrame(*s.factory, orvex::YV12, kW, kH, 5);
    s.nv12 = MakeFrame(*s.factory, orvex::NV12, kW, kH, 6);
    for (const Frame* f : {&s.bgra, &s.background, &s.out, &s.small, &s.yv12, &s.nv12})
        if (!f->gpu.texture) {
            std::fprintf(stderr, "bench_visual_opencl: cannot make the textures\n");
            return 1;
        }
    if (orvexbench::PrepareCopyAnchor(s.bgra.gpu.texture, s.out.gpu.texture)) orvexbench::RegisterCopyKernelRow();
    for (const auto& [name, op] : Operations()) {
        benchmark::RegisterBenchmark(("cpu/" + name).c_str(), BM_Cpu, op)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("opencl/" + name).c_str(), BM_OpenCL, "opencl/" + name, op)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("opencl_device", orvexbench::DeviceName(s.factory.get()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orvexbench::ReleaseCopyAnchor();
    for (Frame* f : {&s.bgra, &s.background, &s.out, &s.small, &s.yv12, &s.nv12}) f->gpu.texture.reset();
    orvex::g_atlu_factory = nullptr;
    return 0;
}
