// The Gaussian blur effect beside the call a user would make instead, OpenCV's GaussianBlur with the
// same kernel (side 2r + 1, sigma 10, reflect-101), on the same 1920x1080 frame in the same run.
// The effect is that call, so the ratio should stay about 1; the summary prints it per radius.
//
//   build/bench/bench_blur [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "effects/blur/BlurEffects.h"
#include "bench_frames.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
const int kRadii[] = {1, 10, 50};

struct Frames {
    cv::Mat in = cv::Mat(kHeight, kWidth, CV_8UC4);
    cv::Mat out = cv::Mat(kHeight, kWidth, CV_8UC4, cv::Scalar::all(0));
    orvex::EffectFramePtr inFrame = benchframes::WrapMat(in);
    orvex::EffectFramePtr outFrame = benchframes::WrapMat(out);

    Frames() {
        cv::RNG rng(20240611);
        rng.fill(in, cv::RNG::UNIFORM, 0, 256);
    }
};

Frames& TheFrames() {
    static Frames frames;
    return frames;
}

void BM_Effect(benchmark::State& state) {
    Frames& f = TheFrames();
    orvex::VideoEffectGaussianBlur effect;
    effect.SetParam("Blurriness", orvex::ParamInt, orvex::EffectParamValue::Int(static_cast<int32_t>(state.range(0))));
    std::vector<orvex::EffectFramePtr> inputs{f.inFrame};
    orvex::ResultCode result = effect.Render(nullptr, 0, nullptr, inputs, f.outFrame);
    for (auto _ : state) {
        result = effect.Render(nullptr, 0, nullptr, inputs, f.outFrame);
        benchmark::ClobberMemory();
    }
    if (result != orvex::Ok) state.SkipWithError("Render failed");
}

void BM_OpenCV(benchmark::State& state) {
    Frames& f = TheFrames();
    const int side = 2 * static_cast<int>(state.range(0)) + 1;
    for (auto _ : state) {
        cv::GaussianBlur(f.in, f.out, cv::Size(side, side), 10, 0, cv::BORDER_REFLECT_101);
        benchmark::ClobberMemory();
    }
}

// Prints the usual table, then effect / OpenCV per radius from the median real times.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const double ms = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
            std::vector<double>& v = times_[run.run_name.function_name + "/" + run.run_name.args];
            if (median)
                v.assign(1, ms);
            else
                v.push_back(ms);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        std::printf("\n%-28s %12s %12s %8s\n", "1920x1080, CPU", "effect ms", "OpenCV ms", "ratio");
        for (int r : kRadii) {
            const double effect = Median("gaussian_blur/effect/" + std::to_string(r));
            const double opencv = Median("gaussian_blur/opencv/" + std::to_string(r));
            if (effect <= 0 || opencv <= 0) continue;
            std::printf("%-28s %12.3f %12.3f %8.2f\n", ("Blurriness " + std::to_string(r)).c_str(), effect, opencv,
                        effect / opencv);
        }
        std::printf("(median over repetitions; %d OpenCV threads)\n", cv::getNumThreads());
    }

private:
    double Median(const std::string& name) const {
        auto it = times_.find(name);
        if (it == times_.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    TheFrames();
    for (int r : kRadii) {
        // Interleaved, so that both sides of a ratio see the same machine state.
        benchmark::RegisterBenchmark("gaussian_blur/effect", BM_Effect)
            ->Arg(r)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("gaussian_blur/opencv", BM_OpenCV)
            ->Arg(r)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("frame", "1920x1080 BGRA, random bytes");
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
