// CubeLut::Apply on a 1920x1080 BGRA frame with the 33-point PQ tone-mapping cube, in its three
// modes, beside a plain frame copy and a 256-entry table pass (cv::LUT) over the same frame; the
// ratios to the table pass follow the table.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>

#include "host/log/log.h"
#include "imagecpu/CubeLut.h"
#include "imagecpu/TableLookup.h"

namespace {

constexpr int kW = 1920, kH = 1080;

struct Fixture {
    cv::Mat src = cv::Mat(kH, kW, CV_8UC4), dst = cv::Mat(kH, kW, CV_8UC4), lut = cv::Mat(1, 256, CV_8UC1);
    orvex::CubeLut cube;
    bool loaded = false;
    Fixture() {
        std::mt19937 rng(1);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW * 4; ++x) src.ptr<uint8_t>(y)[x] = static_cast<uint8_t>(rng());
        for (int i = 0; i < 256; ++i) lut.at<uint8_t>(i) = static_cast<uint8_t>(255 - i);
        loaded = cube.LoadFile(std::string(ORVEX_SOURCE_RESOURCES) +
                               "/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube");
    }
};

Fixture& F() {
    static Fixture f;
    return f;
}

void Anchor_FrameCopy(benchmark::State& state) {
    for (auto _ : state) F().src.copyTo(F().dst);
}
BENCHMARK(Anchor_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void Anchor_TablePass(benchmark::State& state) {
    for (auto _ : state) cv::LUT(F().src, F().lut, F().dst);
}
BENCHMARK(Anchor_TablePass)->Unit(benchmark::kMillisecond)->UseRealTime();

void CubeApply(benchmark::State& state, int mode) {
    Fixture& f = F();
    if (!f.loaded) {
        state.SkipWithError("HDR_PQ.cube did not load");
        return;
    }
    for (auto _ : state) {
        // The in-place modes rewrite the destination: each pass starts from the source, copied
        // outside the timed part.
        if (mode != 2) f.src.copyTo(f.dst);
        const auto t0 = std::chrono::steady_clock::now();
        f.cube.Apply(f.dst.data, static_cast<int>(f.dst.step[0]), f.src.data, kW, kH, static_cast<int>(f.src.step[0]),
                     4, mode, 255);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}
BENCHMARK_CAPTURE(CubeApply, tetrahedral, 2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(CubeApply, trilinear, 1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(CubeApply, nearest, 0)->Unit(benchmark::kMillisecond)->UseManualTime();

// Each tetrahedral frame followed by one table pass, each timed on its own, so that other load on
// the machine weighs on both alike; the counter x_table is their ratio.
void Interleaved_Tetrahedral(benchmark::State& state) {
    Fixture& f = F();
    cv::Mat other(kH, kW, CV_8UC4);
    double cube = 0, table = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        f.cube.Apply(f.dst.data, static_cast<int>(f.dst.step[0]), f.src.data, kW, kH, static_cast<int>(f.src.step[0]),
                     4, 2, 255);
        const auto t1 = std::chrono::steady_clock::now();
        cv::LUT(f.src, f.lut, other);
        const auto t2 = std::chrono::steady_clock::now();
        const double c = std::chrono::duration<double>(t1 - t0).count();
        cube += c;
        table += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(c);
    }
    state.counters["table_ms"] = table / static_cast<double>(state.iterations()) * 1e3;
    state.counters["x_table"] = table > 0 ? cube / table : 0;
}
BENCHMARK(Interleaved_Tetrahedral)->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(3)
    ->ReportAggregatesOnly(false);

// The same two on one thread, timed by process CPU time: a figure that a loaded machine disturbs
// far less than wall time.
void Serial_TablePass(benchmark::State& state) {
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    for (auto _ : state) cv::LUT(F().src, F().lut, F().dst);
    cv::setNumThreads(threads);
}
BENCHMARK(Serial_TablePass)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void Serial_CubeApply(benchmark::State& state) {
    Fixture& f = F();
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    for (auto _ : state)
        f.cube.Apply(f.dst.data, static_cast<int>(f.dst.step[0]), f.src.data, kW, kH, static_cast<int>(f.src.step[0]),
                     4, 2, 255);
    cv::setNumThreads(threads);
}
BENCHMARK(Serial_CubeApply)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "mean") continue;
            const std::string name = r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
            times_[name] = name.rfind("Serial_", 0) == 0 ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
        }
    }
    void Summary() const {
        std::printf("\nratios:\n");
        const auto anchor = times_.find("Anchor_TablePass");
        if (anchor != times_.end() && anchor->second > 0)
            for (const auto& [name, t] : times_)
                if (name.rfind("CubeApply", 0) == 0)
                    std::printf("  %-34s %6.2fx Anchor_TablePass (real time)\n", name.c_str(), t / anchor->second);
        const auto serial = times_.find("Serial_CubeApply"), table = times_.find("Serial_TablePass");
        if (serial != times_.end() && table != times_.end() && table->second > 0)
            std::printf("  %-34s %6.2fx Serial_TablePass (CPU time)\n", "Serial_CubeApply", serial->second / table->second);
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
