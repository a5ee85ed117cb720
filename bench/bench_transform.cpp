// BlendAndTransform on the CPU at 1920x1080: a 1080p overlay turned by 30 degrees and scaled by 0.8
// about its centre, blended (normal, straight, full opacity) over a 1080p background into a
// separate output. Beside it, in the same run, the pair a user would write instead: the image
// library's warpAffine of the same overlay with the same matrix (bilinear) plus a frame copy of
// the background. Slot 38 (background resize + placement) and the GPU-free Transform are timed too.
// The summary gives each as a multiple of the pair.
//
//   build/bench/bench_transform [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
#include <cstdio>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "host/log/log.h"
#include "imagecpu/BlendTables.h"
#include "visual/BlendOps.h"
#include "visual/VisualProcess.h"
#include "bench_frames.h"

namespace {

using benchframes::FrameOf;

constexpr int kW = 1920, kH = 1080;
constexpr double kTheta = 30, kScale = 0.8;
const orvex::fxPointd kCentre{0.5, 0.5};

struct Frames {
    cv::Mat overlay = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat background = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat out = cv::Mat(kH, kW, CV_8UC4, cv::Scalar::all(0));
    cv::Mat warped = cv::Mat(kH, kW, CV_8UC4, cv::Scalar::all(0));
    cv::Mat copy = cv::Mat(kH, kW, CV_8UC4, cv::Scalar::all(0));
    cv::Matx23d placement;
    Frames() {
        // Smooth opaque pictures, as video frames are.
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                overlay.at<cv::Vec4b>(y, x) = cv::Vec4b(x * 255 / kW, y * 255 / kH, 128, 255);
                background.at<cv::Vec4b>(y, x) = cv::Vec4b(y * 255 / kH, 64, x * 255 / kW, 255);
            }
        orvex::PlacementGeometry g;
        orvex::MakePlacement(kW, kH, kW, kH, 0.5, 0.5, 0.5, 0.5, kTheta, kScale, kScale, 0, 0, &g);
        placement = g.toBackground;
        orvex::GetBlendTables();  // built before any timing
    }
};

Frames& F() {
    static Frames frames;
    return frames;
}

void Anchor_WarpAffinePlusCopy(benchmark::State& state) {
    for (auto _ : state) {
        cv::warpAffine(F().overlay, F().warped, F().placement, F().warped.size(), cv::INTER_LINEAR,
                       cv::BORDER_CONSTANT);
        F().background.copyTo(F().copy);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Anchor_WarpAffinePlusCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void Anchor_FrameCopy(benchmark::State& state) {
    for (auto _ : state) {
        F().background.copyTo(F().copy);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Anchor_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BlendAndTransform(benchmark::State& state, int sampler) {
    orvex::VisualProcess vp;
    orvex::EffectFrame ovl = FrameOf(F().overlay), bg = FrameOf(F().background), out = FrameOf(F().out);
    for (auto _ : state) {
        if (vp.BlendAndTransform(ovl, kCentre, bg, kCentre, false, out, 0, 0, 1.0, 0, sampler, kTheta, kScale, kScale,
                                 0, 0) != orvex::Ok) {
            state.SkipWithError("BlendAndTransform failed");
            return;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BlendAndTransform, bilinear, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendAndTransform, nearest, 0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BaseOnBackFrame(benchmark::State& state) {
    orvex::VisualProcess vp;
    orvex::EffectFrame ovl = FrameOf(F().overlay), bg = FrameOf(F().background), out = FrameOf(F().out);
    for (auto _ : state) {
        if (vp.BlendAndTransform_BaseOnBackFrame(ovl, kCentre, bg, kCentre, false, out, 0, 0, 1.0, 0, 1, kTheta, kScale,
                                                 kScale, 0, 0, 1, 0) != orvex::Ok) {
            state.SkipWithError("BlendAndTransform_BaseOnBackFrame failed");
            return;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BaseOnBackFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void Transform(benchmark::State& state) {
    orvex::VisualProcess vp;
    orvex::EffectFrame in = FrameOf(F().overlay), out = FrameOf(F().out);
    for (auto _ : state) {
        if (vp.Transform(in, kCentre, out, kCentre, 1, kTheta, kScale, kScale, 0, false, 0, 0) != orvex::Ok) {
            state.SkipWithError("Transform failed");
            return;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Transform)->Unit(benchmark::kMillisecond)->UseRealTime();

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
        const auto anchor = times_.find("Anchor_WarpAffinePlusCopy");
        if (anchor == times_.end() || anchor->second <= 0) return;
        std::printf("\nratios to warpAffine + frame copy (mean real time):\n");
        for (const auto& [name, t] : times_)
            if (name.rfind("Anchor", 0) != 0) std::printf("  %-34s %6.2fx\n", name.c_str(), t / anchor->second);
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
