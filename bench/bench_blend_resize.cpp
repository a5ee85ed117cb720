// The CPU blend bodies and the CPU resize at 1920x1080, each beside its anchors measured in the
// same run:
//   blend: normal straight, normal premultiplied and a table mode (multiply) in place, on random
//          frames and on a title-like picture, beside a plain frame copy and a 256-entry table
//          pass (dst = lut[src]) over the same frame;
//   resize 1920x1080 -> 1280x720 at qualities 1 and 2, beside the image library's resize and the
//          YUV library's ARGBScale with the matching filter (bilinear; area / box).
// The summary at the end gives each body as a multiple of its anchor.
//
//   build/bench/bench_blend_resize [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
#include <cstdlib>
#include <cstring>

#include "imagecpu/TableLookup.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "host/log/log.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/LayerBlend.h"
#include "visual/VisualProcess.h"
#include "bench_frames.h"

namespace {

using benchframes::FrameOf;

constexpr int kW = 1920, kH = 1080, kOutW = 1280, kOutH = 720;
constexpr int kStripes = 8;

// Frames made once; nothing is allocated inside a timed loop.
struct Frames {
    cv::Mat overlay = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat background = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat work = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat small = cv::Mat(kOutH, kOutW, CV_8UC4, cv::Scalar::all(0));
    cv::Mat lut = cv::Mat(1, 256, CV_8UC1);
    // A title-like overlay over a smooth picture: colour ramps, an opaque box with 32-pixel soft
    // edges over half the frame, transparent elsewhere.
    cv::Mat pictureOverlay = cv::Mat(kH, kW, CV_8UC4);
    cv::Mat pictureBackground = cv::Mat(kH, kW, CV_8UC4);
    Frames() {
        cv::RNG rng(8);
        rng.fill(overlay, cv::RNG::UNIFORM, 0, 256);
        rng.fill(background, cv::RNG::UNIFORM, 0, 256);
        const int x0 = kW / 4, x1 = kW * 3 / 4, y0 = kH / 4, y1 = kH * 3 / 4;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int edge = std::min(std::min(x - x0, x1 - x), std::min(y - y0, y1 - y));
                const int alpha = std::clamp(edge * 8, 0, 255);
                pictureOverlay.at<cv::Vec4b>(y, x) = cv::Vec4b(x * 255 / kW, y * 255 / kH, 128, alpha);
                pictureBackground.at<cv::Vec4b>(y, x) = cv::Vec4b(y * 255 / kH, 64, x * 255 / kW, 255);
            }
        for (int i = 0; i < 256; ++i) lut.at<uint8_t>(i) = static_cast<uint8_t>(255 - i);
        orvex::GetBlendTables();  // built before any timing
    }
};

Frames& F() {
    static Frames frames;
    return frames;
}

// --- anchors -----------------------------------------------------------------------------------------

void Anchor_FrameCopy(benchmark::State& state) {
    for (auto _ : state) {
        F().background.copyTo(F().work);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Anchor_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void Anchor_TablePass(benchmark::State& state) {
    for (auto _ : state) {
        cv::LUT(F().background, F().lut, F().work);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Anchor_TablePass)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- blend bodies --------------------------------------------------------------------------------------

// One pixel of the result checked against the table rule before timing, so a fast wrong body
// does not pass for a fast right one.
bool SpotCheck(int mode, bool premultiplied, uint8_t opacity) {
    const uint8_t* M = orvex::MulTable();
    const cv::Vec4b o = F().overlay.at<cv::Vec4b>(500, 700), d = F().background.at<cv::Vec4b>(500, 700);
    cv::Mat one(1, 1, CV_8UC4, cv::Scalar(d[0], d[1], d[2], d[3]));
    cv::Mat ov(1, 1, CV_8UC4, cv::Scalar(o[0], o[1], o[2], o[3]));
    orvex::BlendLayers(ov, one, mode, opacity, premultiplied, 1);
    const cv::Vec4b r = one.at<cv::Vec4b>(0, 0);
    if (o[3] == 0) return r == d;
    const int a = M[o[3] * 256 + opacity], inv = 255 - a;
    if (const int table = orvex::BlendModeTable(mode); table >= 0) {  // M[T[d][o]][a] + M[d][inv]
        const uint8_t* T = orvex::GetBlendTables().table(table);
        for (int c = 0; c < 4; ++c)
            if (r[c] != M[T[d[c] * 256 + o[c]] * 256 + a] + M[d[c] * 256 + inv]) return false;
        return true;
    }
    if (premultiplied) return r[0] == std::min(255, M[d[0] * 256 + inv] + M[o[0] * 256 + opacity]);
    return r[0] == (o[0] * a + d[0] * (255 - a)) / 255;
}

// Random frames are the worst case (every lookup lands anywhere in its table); the picture is
// what a title over video looks like.
void Blend(benchmark::State& state, bool picture, int mode, bool premultiplied) {
    const uint8_t opacity = 200;
    if (!SpotCheck(mode, premultiplied, opacity)) {
        state.SkipWithError("result differs from the table rule");
        return;
    }
    const cv::Mat& overlay = picture ? F().pictureOverlay : F().overlay;
    const cv::Mat& background = picture ? F().pictureBackground : F().background;
    // Each frame's blend is timed beside the untimed copy that restores the background and a
    // table pass over the same frame: x_copy and x_table divide the sums, so load from other
    // programs that comes and goes during the run weighs on both sides alike.
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    double blendSeconds = 0, copySeconds = 0, tableSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Clock::time_point c0 = Clock::now();
        F().background.copyTo(F().work);  // the copy anchor
        const Clock::time_point c1 = Clock::now();
        cv::LUT(F().background, F().lut, F().work);
        const Clock::time_point c2 = Clock::now();
        background.copyTo(F().work);
        state.ResumeTiming();
        const Clock::time_point b0 = Clock::now();
        orvex::BlendLayers(overlay, F().work, mode, opacity, premultiplied, kStripes);
        benchmark::ClobberMemory();
        blendSeconds += seconds(b0, Clock::now());
        copySeconds += seconds(c0, c1);
        tableSeconds += seconds(c1, c2);
    }
    if (tableSeconds > 0) state.counters["x_table"] = blendSeconds / tableSeconds;
    if (copySeconds > 0) state.counters["x_copy"] = blendSeconds / copySeconds;
}
void BlendBody(benchmark::State& state, int mode, bool premultiplied) { Blend(state, false, mode, premultiplied); }
void BlendPicture(benchmark::State& state, int mode, bool premultiplied) { Blend(state, true, mode, premultiplied); }
BENCHMARK_CAPTURE(BlendBody, normal_straight, 0, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendBody, normal_premultiplied, 0, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendBody, table_multiply, 2, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendBody, table_overlay, 8, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendPicture, normal_straight, 0, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendPicture, normal_premultiplied, 0, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendPicture, table_multiply, 2, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BlendPicture, table_overlay, 8, false)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- resize ------------------------------------------------------------------------------------------------

void ResizeOrvex(benchmark::State& state, int quality) {
    orvex::VisualProcess vp;
    orvex::EffectFrame in = FrameOf(F().overlay), out = FrameOf(F().small);
    for (auto _ : state) {
        if (vp.Resize(in, out, 0, quality) != orvex::Ok) {
            state.SkipWithError("Resize failed");
            return;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(ResizeOrvex, q1, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ResizeOrvex, q2, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

void ResizeOpenCV(benchmark::State& state, int interpolation) {
    for (auto _ : state) {
        cv::resize(F().overlay, F().small, F().small.size(), 0, 0, interpolation);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(ResizeOpenCV, q1, cv::INTER_LINEAR)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ResizeOpenCV, q2, cv::INTER_AREA)->Unit(benchmark::kMillisecond)->UseRealTime();

void ResizeLibyuv(benchmark::State& state, libyuv::FilterMode filter) {
    for (auto _ : state) {
        libyuv::ARGBScale(F().overlay.data, static_cast<int>(F().overlay.step[0]), kW, kH, F().small.data,
                          static_cast<int>(F().small.step[0]), kOutW, kOutH, filter);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(ResizeLibyuv, q1, libyuv::kFilterBilinear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ResizeLibyuv, q2, libyuv::kFilterBox)->Unit(benchmark::kMillisecond)->UseRealTime();

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
                std::printf("  %-34s %6.2fx %s\n", a.c_str(), ia->second / ib->second, b.c_str());
        };
        std::printf("\nratios (mean real time):\n");
        for (const char* body : {"BlendBody/normal_straight", "BlendBody/normal_premultiplied", "BlendBody/table_multiply",
                                 "BlendPicture/normal_straight", "BlendPicture/normal_premultiplied",
                                 "BlendPicture/table_multiply"}) {
            ratio(body, "Anchor_TablePass");
            ratio(body, "Anchor_FrameCopy");
        }
        for (const char* q : {"q1", "q2"}) {
            ratio(std::string("ResizeOrvex/") + q, std::string("ResizeOpenCV/") + q);
            ratio(std::string("ResizeOrvex/") + q, std::string("ResizeLibyuv/") + q);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    // ORVEX_SIMD (read by the library) caps every vector body, to measure the slower paths.
    orvexhost::SetLogThreshold(7);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    return 0;
}
