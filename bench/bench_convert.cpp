// The CPU pixel-format conversions at 1920x1080 through IVisualProcess::Convert, each beside the
// YUV library's own call measured in the same run:
//   YV12 -> BGRA and NV12 -> BGRA at the same size, BT.709 limited and full range, beside
//          libyuv's I420ToARGBMatrix / NV12ToARGBMatrix with the same matrix;
//   BGRA -> YV12, BT.601 limited and BT.709 limited, beside libyuv's ARGBToI420 (BT.601 only, run
//          under both arguments);
// and a plain frame copy. The summary at the end gives each conversion as a multiple of its anchor.
//
//   build/bench/bench_convert [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <opencv2/core.hpp>

#include "host/log/log.h"
#include "visual/VisualProcess.h"

namespace {

constexpr int kW = 1920, kH = 1080;

// Frames made once; nothing is allocated inside a timed loop.
struct Frames {
    cv::Mat bgra = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat out = cv::Mat(kH, kW, CV_8UC4);
    std::vector<uint8_t> y = std::vector<uint8_t>(kW * kH), u = std::vector<uint8_t>(kW * kH / 4),
                         v = std::vector<uint8_t>(kW * kH / 4), uv = std::vector<uint8_t>(kW * kH / 2);
    orvex::EffectFrame yv12, nv12, bgraFrame, outFrame, none;
    Frames() {
        cv::RNG rng(5);
        rng.fill(bgra, cv::RNG::UNIFORM, 0, 256);
        libyuv::ARGBToI420(bgra.data, kW * 4, y.data(), kW, u.data(), kW / 2, v.data(), kW / 2, kW, kH);
        libyuv::MergeUVPlane(u.data(), kW / 2, v.data(), kW / 2, uv.data(), kW, kW / 2, kH / 2);
        yv12 = Planar(orvex::YV12);
        yv12.data[1] = v.data();
        yv12.data[2] = u.data();
        yv12.pitch[1] = yv12.pitch[2] = kW / 2;
        nv12 = Planar(orvex::NV12);
        nv12.data[1] = uv.data();
        nv12.pitch[1] = kW;
        bgraFrame = Packed(bgra);
        outFrame = Packed(out);
        none.pixel_fmt = orvex::BGRA32;
    }
    orvex::EffectFrame Planar(uint32_t fmt) {
        orvex::EffectFrame f;
        f.pixel_fmt = fmt;
        f.bitDepth = 8;
        f.planes = fmt == orvex::NV12 ? 2 : 3;
        f.width[0] = kW;
        f.height[0] = kH;
        f.height[1] = f.height[2] = kH / 2;
        f.data[0] = y.data();
        f.pitch[0] = kW;
        return f;
    }
    static orvex::EffectFrame Packed(cv::Mat& m) {
        orvex::EffectFrame f;
        f.pixel_fmt = orvex::BGRA32;
        f.bitDepth = 8;
        f.planes = 1;
        f.width[0] = kW;
        f.height[0] = kH;
        f.data[0] = m.data;
        f.pitch[0] = static_cast<int32_t>(m.step[0]);
        return f;
    }
};

Frames& F() {
    static Frames frames;
    return frames;
}

ColorSpace::pl_color_repr Repr(int mode) {
    using namespace ColorSpace;
    const pl_color_system sys = mode < 2 ? PL_COLOR_SYSTEM_BT_709 : PL_COLOR_SYSTEM_BT_601;
    return pl_color_repr{sys, mode % 2 ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED, PL_ALPHA_INDEPENDENT,
                         {8, 8, 0}};
}
const ColorSpace::pl_color_space kSpace{ColorSpace::PL_COLOR_PRIM_BT_709, ColorSpace::PL_COLOR_TRC_BT_1886,
                                        ColorSpace::PL_COLOR_LIGHT_UNKNOWN, 0, 0, 0};

void SetRate(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kW * kH);
}

void Anchor_FrameCopy(benchmark::State& state) {
    Frames& f = F();
    for (auto _ : state) {
        f.bgra.copyTo(f.out);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(Anchor_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the CLSMode (0 BT.709 limited, 1 BT.709 full).
void YV12ToBGRA_Orvex(benchmark::State& state) {
    Frames& f = F();
    orvex::VisualProcess vp;
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (vp.Convert(Repr(mode), kSpace, f.yv12, f.none, f.outFrame, 0, 1) != orvex::Ok) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(YV12ToBGRA_Orvex)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void YV12ToBGRA_Libyuv(benchmark::State& state) {
    Frames& f = F();
    const libyuv::YuvConstants* k = state.range(0) == 0 ? &libyuv::kYuvH709Constants : &libyuv::kYuvF709Constants;
    for (auto _ : state) {
        libyuv::I420ToARGBMatrix(f.y.data(), kW, f.u.data(), kW / 2, f.v.data(), kW / 2, f.out.data, kW * 4, k, kW, kH);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(YV12ToBGRA_Libyuv)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void NV12ToBGRA_Orvex(benchmark::State& state) {
    Frames& f = F();
    orvex::VisualProcess vp;
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (vp.Convert(Repr(mode), kSpace, f.nv12, f.none, f.outFrame, 0, 1) != orvex::Ok) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(NV12ToBGRA_Orvex)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void NV12ToBGRA_Libyuv(benchmark::State& state) {
    Frames& f = F();
    const libyuv::YuvConstants* k = state.range(0) == 0 ? &libyuv::kYuvH709Constants : &libyuv::kYuvF709Constants;
    for (auto _ : state) {
        libyuv::NV12ToARGBMatrix(f.y.data(), kW, f.uv.data(), kW, f.out.data, kW * 4, k, kW, kH);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(NV12ToBGRA_Libyuv)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the CLSMode (2 BT.601 limited, 0 BT.709 limited).
void BGRAToYV12_Orvex(benchmark::State& state) {
    Frames& f = F();
    orvex::VisualProcess vp;
    const int mode = static_cast<int>(state.range(0));
    orvex::EffectFrame out = f.yv12;
    for (auto _ : state) {
        if (vp.Convert(Repr(mode), kSpace, f.bgraFrame, f.none, out, 0, 1) != orvex::Ok) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BGRAToYV12_Orvex)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// libyuv has no BT.709 encoder: both arguments run its BT.601 limited one, the same work at the
// same widths, so that each Orvex row has its anchor under the same name (and measured next to it).
void BGRAToYV12_Libyuv(benchmark::State& state) {
    Frames& f = F();
    for (auto _ : state) {
        libyuv::ARGBToI420(f.bgra.data, kW * 4, f.y.data(), kW, f.u.data(), kW / 2, f.v.data(), kW / 2, kW, kH);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BGRAToYV12_Libyuv)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Collects the mean real time of every run to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "mean") continue;
            times_[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                r.GetAdjustedRealTime();
        }
    }
    void Summary() const {
        auto ratio = [&](const std::string& a, const std::string& b) {
            auto ia = times_.find(a), ib = times_.find(b);
            if (ia != times_.end() && ib != times_.end() && ib->second > 0)
                std::printf("  %-24s %6.2fx %s\n", a.c_str(), ia->second / ib->second, b.c_str());
        };
        std::printf("\nratios (mean real time):\n");
        for (const char* m : {"/0", "/1"}) {
            ratio(std::string("YV12ToBGRA_Orvex") + m, std::string("YV12ToBGRA_Libyuv") + m);
            ratio(std::string("NV12ToBGRA_Orvex") + m, std::string("NV12ToBGRA_Libyuv") + m);
        }
        ratio("BGRAToYV12_Orvex/2", "BGRAToYV12_Libyuv/2");
        ratio("BGRAToYV12_Orvex/0", "BGRAToYV12_Libyuv/0");
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    return 0;
}
