// The CPU forms of GPU-only operations at 1920x1080, beside anchors measured in the same run:
//   SDR2HDR, PQToHLG and HLGToPQ (8 and 16 bits) on opaque frames, as a video's are, and SDR2HDR
//   on a translucent one (its premultiplied pixels take the plain curve), beside HDR2SDR through
//   the 33-point cube (the 8-bit CPU tone map) and a frame copy;
//   BlendMask2 and Blend_Mask_NoType beside the frame copy;
//   BlendAndTransform of 16-bit frames (turned 30 degrees, scaled 0.8) beside the 8-bit CPU path.
//
//   build/bench/bench_cpu_twins [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "host/log/log.h"
#include "visual/VisualProcess.h"
#include "bench_frames.h"

namespace {

using benchframes::FrameOf;

constexpr int kW = 1920, kH = 1080;

// Frames made once; nothing is allocated inside a timed loop.
struct Frames {
    cv::Mat a8 = cv::Mat(kH, kW, CV_8UC4), b8 = cv::Mat(kH, kW, CV_8UC4), m8 = cv::Mat(kH, kW, CV_8UC4),
            out8 = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat a16 = cv::Mat(kH, kW, CV_16UC4), b16 = cv::Mat(kH, kW, CV_16UC4), out16 = cv::Mat(kH, kW, CV_16UC4);
    cv::Mat opaque8, opaque16;  // a8 and a16 with alpha at its top
    Frames() {
        cv::randu(a8, 0, 256);
        cv::randu(b8, 0, 256);
        cv::randu(m8, 0, 256);
        a8.convertTo(a16, CV_16U, 257.0);
        b8.convertTo(b16, CV_16U, 257.0);
        opaque8 = a8 | cv::Scalar(0, 0, 0, 255);
        opaque16 = a16 | cv::Scalar(0, 0, 0, 65535);
    }
};

Frames& F() {
    static Frames frames;
    return frames;
}

template <typename Op>
void Run(benchmark::State& state, const Op& op) {
    orvex::VisualProcess vp;
    vp.SetResourcePath(ORVEX_SOURCE_DIR);
    for (auto _ : state) {
        if (op(vp) != orvex::Ok) {
            state.SkipWithError("operation failed");
            return;
        }
        benchmark::ClobberMemory();
    }
}

void Anchor_FrameCopy(benchmark::State& state) {
    for (auto _ : state) {
        F().a8.copyTo(F().out8);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Anchor_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void Anchor_HDR2SDRCube(benchmark::State& state) {
    orvex::EffectFrame in = FrameOf(F().a8), out = FrameOf(F().out8);
    Run(state, [&](orvex::VisualProcess& vp) {
        return vp.HDR2SDR(in, out, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
    });
}
BENCHMARK(Anchor_HDR2SDRCube)->Unit(benchmark::kMillisecond)->UseRealTime();

void SDR2HDR(benchmark::State& state, bool sixteen, bool opaque) {
    cv::Mat& src = sixteen ? (opaque ? F().opaque16 : F().a16) : (opaque ? F().opaque8 : F().a8);
    orvex::EffectFrame in = FrameOf(src), out = FrameOf(sixteen ? F().out16 : F().out8);
    Run(state, [&](orvex::VisualProcess& vp) { return vp.SDR2HDR(in, out, 1, 2); });
}
BENCHMARK_CAPTURE(SDR2HDR, 8bit, false, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(SDR2HDR, 16bit, true, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(SDR2HDR, 8bit_translucent, false, false)->Unit(benchmark::kMillisecond)->UseRealTime();

void PQToHLG(benchmark::State& state, bool sixteen) {
    orvex::EffectFrame in = FrameOf(sixteen ? F().opaque16 : F().opaque8), out = FrameOf(sixteen ? F().out16 : F().out8);
    Run(state, [&](orvex::VisualProcess& vp) { return vp.PQToHLG(in, out); });
}
BENCHMARK_CAPTURE(PQToHLG, 8bit, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(PQToHLG, 16bit, true)->Unit(benchmark::kMillisecond)->UseRealTime();

void HLGToPQ(benchmark::State& state, bool sixteen) {
    orvex::EffectFrame in = FrameOf(sixteen ? F().opaque16 : F().opaque8), out = FrameOf(sixteen ? F().out16 : F().out8);
    Run(state, [&](orvex::VisualProcess& vp) { return vp.HLGToPQ(in, out); });
}
BENCHMARK_CAPTURE(HLGToPQ, 8bit, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(HLGToPQ, 16bit, true)->Unit(benchmark::kMillisecond)->UseRealTime();

void BlendMask2(benchmark::State& state) {
    orvex::EffectFrame a = FrameOf(F().a8), b = FrameOf(F().b8), m = FrameOf(F().m8), out = FrameOf(F().out8);
    Run(state, [&](orvex::VisualProcess& vp) { return vp.BlendMask2(a, b, m, 3, out, 80); });
}
BENCHMARK(BlendMask2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BlendMaskNoType(benchmark::State& state) {
    orvex::EffectFrame a = FrameOf(F().a8), b = FrameOf(F().b8), m = FrameOf(F().m8), out = FrameOf(F().out8);
    Run(state, [&](orvex::VisualProcess& vp) { return vp.Blend_Mask_NoType(a, b, m, out); });
}
BENCHMARK(BlendMaskNoType)->Unit(benchmark::kMillisecond)->UseRealTime();

void BlendAndTransform(benchmark::State& state, bool sixteen) {
    orvex::EffectFrame o = FrameOf(sixteen ? F().a16 : F().a8), b = FrameOf(sixteen ? F().b16 : F().b8),
                       out = FrameOf(sixteen ? F().out16 : F().out8);
    Run(state, [&](orvex::VisualProcess& vp) {
        return vp.BlendAndTransform(o, {0.5, 0.5}, b, {0.5, 0.5}, false, out, 0, 0, 1.0, 0, 1, 30, 0.8, 0.8, 0, 0);
    });
}
BENCHMARK_CAPTURE(BlendAndTransform, 8bit, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendAndTransform, 16bit, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
