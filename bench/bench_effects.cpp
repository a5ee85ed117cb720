// Every creatable built-in effect rendered on the CPU at 1920x1080 with its default parameters,
// through the lab as a host would, beside two anchors over the same frame and thread count: a
// plain frame copy and a 256-entry table pass (dst = lut[src]) in 8 row bands. Each effect's
// frames alternate with table passes, and the summary at the end gives the effect's time as a
// multiple of the table pass.
//
//   build/bench/bench_effects [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
#include <cstdlib>
#include <cstring>

#include "imagecpu/TableLookup.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "effects/EffectSurface.h"
#include "host/log/log.h"
#include "imagecpu/TableLookup.h"
#include "effects/Manifest.h"
#include "orvex/orvex.h"
#include "bench_frames.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr const char* kTablePass = "anchor/table_pass";
constexpr const char* kFrameCopy = "anchor/frame_copy";

// One input and one output frame for the whole run: nothing is allocated inside a timed loop.
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

// The anchors split rows exactly as the effects do.
class BandBody : public cv::ParallelLoopBody {
public:
    BandBody(const cv::Mat& in, cv::Mat& out) : in_(in), out_(out) {}
    void operator()(const cv::Range& bands) const override {
        for (int b = bands.start; b < bands.end; ++b) {
            const cv::Range rows = orvex::BandRows(b, orvex::kBandCount, in_.rows);
            for (int y = rows.start; y < rows.end; ++y) Row(in_.ptr<uint8_t>(y), out_.ptr<uint8_t>(y), in_.cols * 4);
        }
    }
    virtual void Row(const uint8_t* s, uint8_t* d, int bytes) const = 0;

protected:
    const cv::Mat& in_;
    cv::Mat& out_;
};

class parallelFrameCopy final : public BandBody {
public:
    using BandBody::BandBody;
    void Row(const uint8_t* s, uint8_t* d, int bytes) const override { std::memcpy(d, s, static_cast<size_t>(bytes)); }
};

class parallelTablePass final : public BandBody {
public:
    parallelTablePass(const cv::Mat& in, cv::Mat& out, const uint8_t* lut) : BandBody(in, out), lut_(lut) {}
    void Row(const uint8_t* s, uint8_t* d, int bytes) const override {
        for (int i = 0; i < bytes; ++i) d[i] = lut_[s[i]];
    }

private:
    const uint8_t* lut_;
};

void BM_FrameCopy(benchmark::State& state) {
    Frames& f = TheFrames();
    parallelFrameCopy body(f.in, f.out);
    for (auto _ : state) {
        orvex::RunBands(body, orvex::kBandCount);
        benchmark::ClobberMemory();
    }
}

// The anchor's table: any 256 bytes do, the pass costs the same.
struct InvertTable {
    uint8_t lut[256];
    InvertTable() {
        for (int i = 0; i < 256; ++i) lut[i] = static_cast<uint8_t>(255 - i);
    }
};

void BM_TablePass(benchmark::State& state) {
    Frames& f = TheFrames();
    static const InvertTable table;
    parallelTablePass body(f.in, f.out, table.lut);
    for (auto _ : state) {
        orvex::RunBands(body, orvex::kBandCount);
        benchmark::ClobberMemory();
    }
}

using Clock = std::chrono::steady_clock;

// A "VmRSS:" or "VmHWM:" line of /proc/self/status in bytes; 0 where it cannot be read.
double StatusBytes(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, n) == 0) kb = std::atof(line + n);
    std::fclose(f);
    return kb * 1024;
}

// Writing 5 to clear_refs sets the peak resident set back to the present one, so each effect's
// peak is its own; false where the kernel does not allow it.
bool ResetPeakResidentSet() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The effect's frames are timed one by one, and each is followed by one table pass and one frame
// copy over the same frame: "x_table" and "x_copy" divide the sums, so load from other programs
// that comes and goes during the run weighs on both alike.
void BM_Effect(benchmark::State& state, orvex::IOrvex* lab, std::string name) {
    Frames& f = TheFrames();
    const bool peakReset = ResetPeakResidentSet();
    const double residentBefore = StatusBytes("VmRSS:");
    orvex::IOrvexEffect* effect = lab->CreateOrvexEffect(name.c_str());
    if (!effect) {
        state.SkipWithError("the lab cannot create this effect");
        return;
    }
    static const InvertTable table;
    parallelTablePass anchor(f.in, f.out, table.lut);
    parallelFrameCopy copy(f.in, f.out);
    std::vector<orvex::EffectFramePtr> inputs{f.inFrame};
    // One untimed frame: effects that keep scratch images allocate them here, as on a host's
    // first frame.
    orvex::ResultCode result = effect->Render(nullptr, 0, nullptr, inputs, f.outFrame);
    double effectSeconds = 0, anchorSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        result = effect->Render(nullptr, 0, nullptr, inputs, f.outFrame);
        benchmark::ClobberMemory();
        const Clock::time_point t1 = Clock::now();
        orvex::RunBands(anchor, orvex::kBandCount);
        benchmark::ClobberMemory();
        const Clock::time_point t2 = Clock::now();
        orvex::RunBands(copy, orvex::kBandCount);
        benchmark::ClobberMemory();
        const Clock::time_point t3 = Clock::now();
        effectSeconds += Seconds(t0, t1);
        anchorSeconds += Seconds(t1, t2);
        copySeconds += Seconds(t2, t3);
        state.SetIterationTime(Seconds(t0, t1));
    }
    if (result != orvex::Ok) state.SkipWithError("Render failed");
    if (anchorSeconds > 0) state.counters["x_table"] = effectSeconds / anchorSeconds;
    if (copySeconds > 0) state.counters["x_copy"] = effectSeconds / copySeconds;
    // Peak resident set while the effect was created and rendered, and how many 1080p frames of
    // memory it held at most beyond the process's own (the bench's frames included in the peak).
    if (peakReset) {
        const double peak = StatusBytes("VmHWM:");
        state.counters["peak_rss_mb"] = peak / (1024.0 * 1024.0);
        state.counters["extra_frames"] = std::max(0.0, peak - residentBefore) / (4.0 * kWidth * kHeight);
    }
    lab->ReleaseOrvexEffect(effect);
}

// The automatic effects measure the frame only when their threshold changes; this row changes it
// before every frame, so each frame pays for the measurement as well as the mapping.
void BM_Measuring(benchmark::State& state, orvex::IOrvex* lab, std::string name) {
    Frames& f = TheFrames();
    orvex::IOrvexEffect* effect = lab->CreateOrvexEffect(name.c_str());
    if (!effect) {
        state.SkipWithError("the lab cannot create this effect");
        return;
    }
    std::vector<orvex::EffectFramePtr> inputs{f.inFrame};
    orvex::ResultCode result = effect->Render(nullptr, 0, nullptr, inputs, f.outFrame);
    float threshold = 0.5f;
    for (auto _ : state) {
        threshold = threshold == 0.5f ? 0.6f : 0.5f;
        effect->SetParam("threshold", orvex::ParamFloat, orvex::EffectParamValue::Float(threshold));
        const Clock::time_point t0 = Clock::now();
        result = effect->Render(nullptr, 0, nullptr, inputs, f.outFrame);
        benchmark::ClobberMemory();
        state.SetIterationTime(Seconds(t0, Clock::now()));
    }
    if (result != orvex::Ok) state.SkipWithError("Render failed");
    lab->ReleaseOrvexEffect(effect);
}

// Prints the usual table, then a summary of each benchmark's time per frame (median over
// repetitions) and, for the effects, its multiple of the interleaved table pass.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own console reporter does.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // Repetitions reported as aggregates only still leave their median.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            Sample s;
            s.ms = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                   benchmark::GetTimeUnitMultiplier(run.time_unit);
            auto ratio = run.counters.find("x_table");
            if (ratio != run.counters.end()) s.ratio = ratio->second.value;
            const std::string name = run.run_name.function_name;
            if (!samples_.count(name) && !medians_.count(name)) order_.push_back(name);
            (median ? medians_[name] : samples_[name]).push_back(s);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        std::printf("\n%-42s %10s %10s\n", "1920x1080, CPU, default parameters", "ms/frame", "x table");
        for (const std::string& name : order_) {
            const Sample s = Median(name);
            if (s.ratio > 0)
                std::printf("%-42s %10.3f %10.2f\n", name.c_str(), s.ms, s.ratio);
            else
                std::printf("%-42s %10.3f\n", name.c_str(), s.ms);
        }
        std::printf("(x table: the effect's time over a table pass run after each of its frames; median over\n"
                    "repetitions; %d OpenCV threads)\n",
                    cv::getNumThreads());
    }

private:
    struct Sample {
        double ms = 0;
        double ratio = 0;
    };
    Sample Median(const std::string& name) const {
        auto reported = medians_.find(name);
        if (reported != medians_.end() && !reported->second.empty()) return reported->second.front();
        auto it = samples_.find(name);
        if (it == samples_.end() || it->second.empty()) return {};
        std::vector<double> ms, ratio;
        for (const Sample& s : it->second) {
            ms.push_back(s.ms);
            ratio.push_back(s.ratio);
        }
        std::sort(ms.begin(), ms.end());
        std::sort(ratio.begin(), ratio.end());
        return {ms[ms.size() / 2], ratio[ratio.size() / 2]};
    }
    std::map<std::string, std::vector<Sample>> samples_;
    std::map<std::string, std::vector<Sample>> medians_;
    std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
    // ORVEX_SIMD (read by the library) caps every vector body, to measure the slower paths.
    orvexhost::SetLogThreshold(7);  // the lab's progress lines would interleave with the table
    orvex::IOrvex* lab = CreateOrvex();
    if (!lab) {
        std::fprintf(stderr, "bench_effects: cannot create the lab\n");
        return 1;
    }
    TheFrames();

    benchmark::RegisterBenchmark(kFrameCopy, BM_FrameCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(kTablePass, BM_TablePass)->Unit(benchmark::kMillisecond)->UseRealTime();
    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i) {
        if (!rows[i].create) continue;
        const std::string name = rows[i].name;
        const std::string shortName = name.substr(name.rfind('/') + 1);
        benchmark::RegisterBenchmark(("effect/" + shortName).c_str(), BM_Effect, lab, name)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    }

    for (const char* name : {"auto_contrast", "auto_levels", "auto_color"}) {
        benchmark::RegisterBenchmark((std::string("effect/") + name + "_measuring").c_str(), BM_Measuring, lab,
                                     std::string("video/effect/") + name)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("frame", "1920x1080 BGRA, random bytes");
    benchmark::AddCustomContext("opencv_threads", std::to_string(cv::getNumThreads()));
    benchmark::AddCustomContext("table_lookup", orvex::LookupPathName(orvex::BestLookupPath()));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    ReleaseOrvex(lab);
    return 0;
}
