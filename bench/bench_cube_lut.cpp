// CubeLut::Apply on a 1920x1080 BGRA frame with the 33-point PQ tone-mapping cube, in its three
// modes, beside a plain frame copy, a 256-entry table pass (cv::LUT) and FFmpeg's lut3d filter
// (tetrahedral, the same cube, as many threads) over the same frame; the ratios follow the table.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>

#include "host/log/log.h"
#include "imagecpu/CubeLut.h"
#include "imagecpu/TableLookup.h"

#if ORVEX_BENCH_LUT3D
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}
#endif

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

const std::string kCubeFile = std::string(ORVEX_SOURCE_RESOURCES) + "/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube";

#if ORVEX_BENCH_LUT3D

// FFmpeg's lut3d filter as a program using libavfilter runs it: buffer -> lut3d -> buffersink,
// BGRA in and out, slice threads as many as OpenCV's. The input frame is kept by the caller, so
// the filter writes a new frame from its pool, as the tetrahedral pass writes a destination.
class Lut3d {
public:
    Lut3d(const cv::Mat& src, int threads) {
        // The same cube's 33^3 entries in a file of only its size line and values, which any
        // .cube reader takes.
        file_ = "/tmp/orvex_bench_lut3d_" + std::to_string(getpid()) + ".cube";
        std::ifstream in(kCubeFile);
        std::ofstream out(file_);
        out << "LUT_3D_SIZE 33\n";
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && (std::isdigit(static_cast<unsigned char>(line[0])) || line[0] == '-')) out << line << '\n';
        out.close();
        graph_ = avfilter_graph_alloc();
        if (!graph_) return;
        graph_->nb_threads = threads;
        char args[160];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", src.cols,
                      src.rows, static_cast<int>(AV_PIX_FMT_BGRA));
        const std::string lutArgs = "file=" + file_ + ":interp=tetrahedral";
        AVFilterContext* lut = nullptr;
        if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args, nullptr, graph_) < 0 ||
            avfilter_graph_create_filter(&lut, avfilter_get_by_name("lut3d"), "lut3d", lutArgs.c_str(), nullptr,
                                         graph_) < 0 ||
            avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_) <
                0)
            return;
        const AVPixelFormat formats[] = {AV_PIX_FMT_BGRA, AV_PIX_FMT_NONE};
        if (av_opt_set_int_list(sink_, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN) < 0 ||
            avfilter_link(source_, 0, lut, 0) < 0 || avfilter_link(lut, 0, sink_, 0) < 0 ||
            avfilter_graph_config(graph_, nullptr) < 0)
            return;
        in_ = av_frame_alloc(), out_ = av_frame_alloc();
        if (!in_ || !out_) return;
        in_->format = AV_PIX_FMT_BGRA, in_->width = src.cols, in_->height = src.rows;
        if (av_frame_get_buffer(in_, 64) < 0) return;
        for (int y = 0; y < src.rows; ++y)
            std::memcpy(in_->data[0] + static_cast<size_t>(y) * in_->linesize[0], src.ptr(y), src.cols * 4);
        ok_ = true;
    }
    ~Lut3d() {
        av_frame_free(&in_);
        av_frame_free(&out_);
        avfilter_graph_free(&graph_);
        std::remove(file_.c_str());
    }
    bool ok() const { return ok_; }
    // One frame through the graph; false when the filter failed.
    bool Run() {
        in_->pts = pts_++;
        if (av_buffersrc_add_frame_flags(source_, in_, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return false;
        const bool got = av_buffersink_get_frame(sink_, out_) >= 0;
        av_frame_unref(out_);
        return got;
    }

private:
    std::string file_;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext *source_ = nullptr, *sink_ = nullptr;
    AVFrame *in_ = nullptr, *out_ = nullptr;
    int64_t pts_ = 0;
    bool ok_ = false;
};

Lut3d& FFmpegLut3d() {
    static Lut3d lut(F().src, cv::getNumThreads());
    return lut;
}

void CubeApply_FFmpeg(benchmark::State& state) {
    if (!FFmpegLut3d().ok()) {
        state.SkipWithError("FFmpeg's lut3d graph did not configure");
        return;
    }
    for (auto _ : state)
        if (!FFmpegLut3d().Run()) {
            state.SkipWithError("lut3d gave no frame");
            break;
        }
}
BENCHMARK(CubeApply_FFmpeg)->Name("CubeApply_FFmpeg/tetrahedral")->Unit(benchmark::kMillisecond)->UseRealTime();

#endif

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

// Each tetrahedral frame followed by one table pass (and one frame of FFmpeg's lut3d), each timed
// on its own, so that other load on the machine weighs on all alike; the counters x_table and
// x_ffmpeg are the ratios.
void Interleaved_Tetrahedral(benchmark::State& state) {
    Fixture& f = F();
    cv::Mat other(kH, kW, CV_8UC4);
    double cube = 0, table = 0, lut3d = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        f.cube.Apply(f.dst.data, static_cast<int>(f.dst.step[0]), f.src.data, kW, kH, static_cast<int>(f.src.step[0]),
                     4, 2, 255);
        const auto t1 = std::chrono::steady_clock::now();
        cv::LUT(f.src, f.lut, other);
        const auto t2 = std::chrono::steady_clock::now();
#if ORVEX_BENCH_LUT3D
        if (FFmpegLut3d().ok()) FFmpegLut3d().Run();
#endif
        const auto t3 = std::chrono::steady_clock::now();
        const double c = std::chrono::duration<double>(t1 - t0).count();
        cube += c;
        table += std::chrono::duration<double>(t2 - t1).count();
        lut3d += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(c);
    }
    state.counters["table_ms"] = table / static_cast<double>(state.iterations()) * 1e3;
    state.counters["x_table"] = table > 0 ? cube / table : 0;
    if (lut3d > 0) {
        state.counters["ffmpeg_ms"] = lut3d / static_cast<double>(state.iterations()) * 1e3;
        state.counters["x_ffmpeg"] = cube / lut3d;
    }
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
BENCHMARK(Serial_CubeApply)->Name("Serial_CubeApply/tetrahedral")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

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
        const auto lut3d = times_.find("CubeApply_FFmpeg/tetrahedral"), tetra = times_.find("CubeApply/tetrahedral");
        if (lut3d != times_.end() && tetra != times_.end() && lut3d->second > 0)
            std::printf("  %-34s %6.2fx CubeApply_FFmpeg/tetrahedral (real time)\n", "CubeApply/tetrahedral",
                        tetra->second / lut3d->second);
        const auto serial = times_.find("Serial_CubeApply/tetrahedral"), table = times_.find("Serial_TablePass");
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
