// The CPU pixel-format conversions at 1920x1080 through IVisualProcess::Convert, each beside the
// YUV library's own call measured in the same run:
//   YV12 -> BGRA and NV12 -> BGRA at the same size, BT.709 limited and full range, beside
//          libyuv's I420ToARGBMatrix / NV12ToARGBMatrix with the same matrix;
//   BGRA -> YV12, BT.601 limited and BT.709 limited, beside libyuv's ARGBToI420 (BT.601 only, run
//          under both arguments);
//   the matrix-kernel decodes (YV12P10, YUVAP10, P010, YUV422, YUVA422, YUV422_16, YUVA422_16 ->
//          BGRA) beside libyuv's I010 / I010Alpha / P010 / I422 / I422Alpha / I210 / I210Alpha
//          ToARGBMatrix with the same matrix, and BGRA -> NV12 beside its ARGBToNV12 (BT.601 only);
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

// The 16-bit and 4:2:2 pictures: random 10-bit samples (at the top of the word for P010), chroma
// planes of 4:2:2 height, which the 4:2:0 frames read the first half of.
struct WideFrames {
    static constexpr int kCw = kW / 2;
    std::vector<uint16_t> y = Random16(kW * kH), u = Random16(kCw * kH), v = Random16(kCw * kH),
                          a = Random16(kW * kH), uv = Random16(kW * kH / 2, 6);
    std::vector<uint8_t> y8 = Random8(kW * kH), u8 = Random8(kCw * kH), v8 = Random8(kCw * kH), a8 = Random8(kW * kH);
    std::vector<uint8_t> nv12Y = std::vector<uint8_t>(kW * kH), nv12UV = std::vector<uint8_t>(kW * kH / 2);

    static std::vector<uint16_t> Random16(size_t n, int shift = 0) {
        std::vector<uint16_t> s(n);
        cv::RNG rng(static_cast<uint64_t>(n) + shift);
        for (uint16_t& x : s) x = static_cast<uint16_t>((rng.next() % 1024) << shift);
        return s;
    }
    static std::vector<uint8_t> Random8(size_t n) {
        std::vector<uint8_t> s(n);
        cv::RNG rng(static_cast<uint64_t>(n) * 3);
        for (uint8_t& x : s) x = static_cast<uint8_t>(rng.next());
        return s;
    }
    // A planar frame of fmt over the planes above (Cr in plane 1, Cb in plane 2).
    orvex::EffectFrame Planar(uint32_t fmt) {
        const bool sixteen = fmt == orvex::YV12P10 || fmt == orvex::YUVAP10 || fmt == orvex::YUV422_16 ||
                             fmt == orvex::YUVA422_16;
        const bool alpha = fmt == orvex::YUVAP10 || fmt == orvex::YUVA422 || fmt == orvex::YUVA422_16;
        const bool is422 = fmt == orvex::YUV422 || fmt == orvex::YUV422_16 || fmt == orvex::YUVA422 ||
                           fmt == orvex::YUVA422_16;
        orvex::EffectFrame f;
        f.pixel_fmt = fmt;
        f.bitDepth = sixteen ? 10 : 8;
        f.planes = alpha ? 4 : 3;
        f.width[0] = kW;
        f.height[0] = f.height[3] = kH;
        f.height[1] = f.height[2] = is422 ? kH : kH / 2;
        const int b = sixteen ? 2 : 1;
        f.data[0] = sixteen ? reinterpret_cast<uint8_t*>(y.data()) : y8.data();
        f.data[1] = sixteen ? reinterpret_cast<uint8_t*>(v.data()) : v8.data();
        f.data[2] = sixteen ? reinterpret_cast<uint8_t*>(u.data()) : u8.data();
        f.data[3] = sixteen ? reinterpret_cast<uint8_t*>(a.data()) : a8.data();
        f.pitch[0] = f.pitch[3] = kW * b;
        f.pitch[1] = f.pitch[2] = kCw * b;
        return f;
    }
    // A semi-planar frame over two planes of kW samples a row.
    static orvex::EffectFrame Semi(uint32_t fmt, void* y, void* uv) {
        orvex::EffectFrame f;
        const int b = fmt == orvex::P010 ? 2 : 1;
        f.pixel_fmt = fmt;
        f.bitDepth = fmt == orvex::P010 ? 10 : 8;
        f.planes = 2;
        f.width[0] = kW;
        f.height[0] = kH;
        f.height[1] = kH / 2;
        f.data[0] = static_cast<uint8_t*>(y);
        f.data[1] = static_cast<uint8_t*>(uv);
        f.pitch[0] = f.pitch[1] = kW * b;
        return f;
    }
    orvex::EffectFrame P010() { return Semi(orvex::P010, y.data(), uv.data()); }
    orvex::EffectFrame NV12() { return Semi(orvex::NV12, nv12Y.data(), nv12UV.data()); }
};

WideFrames& W() {
    static WideFrames frames;
    return frames;
}

ColorSpace::pl_color_repr Repr(int mode, int depth = 8) {
    using namespace ColorSpace;
    const pl_color_system sys = mode < 2 ? PL_COLOR_SYSTEM_BT_709 : PL_COLOR_SYSTEM_BT_601;
    return pl_color_repr{sys, mode % 2 ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED, PL_ALPHA_INDEPENDENT,
                         {depth, depth, 0}};
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

// --- the matrix-kernel decodes and the NV12 encoder, each beside libyuv's call -----------------------------

// One decode: its input frame and libyuv's call for the same matrix (BT.709 limited or full).
struct MatrixRow {
    const char* name;
    uint32_t fmt;
    void (*library)(WideFrames& w, uint8_t* dst, const libyuv::YuvConstants* k);
};

const MatrixRow kMatrixRows[] = {
    {"YV12P10ToBGRA", orvex::YV12P10,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I010ToARGBMatrix(w.y.data(), kW, w.u.data(), kW / 2, w.v.data(), kW / 2, d, kW * 4, k, kW, kH);
     }},
    {"YUVAP10ToBGRA", orvex::YUVAP10,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I010AlphaToARGBMatrix(w.y.data(), kW, w.u.data(), kW / 2, w.v.data(), kW / 2, w.a.data(), kW, d,
                                       kW * 4, k, kW, kH, 0);
     }},
    {"P010ToBGRA", orvex::P010,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::P010ToARGBMatrix(w.y.data(), kW, w.uv.data(), kW, d, kW * 4, k, kW, kH);
     }},
    {"YUV422ToBGRA", orvex::YUV422,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I422ToARGBMatrix(w.y8.data(), kW, w.u8.data(), kW / 2, w.v8.data(), kW / 2, d, kW * 4, k, kW, kH);
     }},
    {"YUVA422ToBGRA", orvex::YUVA422,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I422AlphaToARGBMatrix(w.y8.data(), kW, w.u8.data(), kW / 2, w.v8.data(), kW / 2, w.a8.data(), kW, d,
                                       kW * 4, k, kW, kH, 0);
     }},
    {"YUV422_16ToBGRA", orvex::YUV422_16,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I210ToARGBMatrix(w.y.data(), kW, w.u.data(), kW / 2, w.v.data(), kW / 2, d, kW * 4, k, kW, kH);
     }},
    {"YUVA422_16ToBGRA", orvex::YUVA422_16,
     [](WideFrames& w, uint8_t* d, const libyuv::YuvConstants* k) {
         libyuv::I210AlphaToARGBMatrix(w.y.data(), kW, w.u.data(), kW / 2, w.v.data(), kW / 2, w.a.data(), kW, d,
                                       kW * 4, k, kW, kH, 0);
     }},
};

// Argument: the CLSMode (0 BT.709 limited, 1 BT.709 full).
void MatrixDecodeOrvex(benchmark::State& state, const MatrixRow* row) {
    Frames& f = F();
    WideFrames& w = W();
    orvex::VisualProcess vp;
    const int mode = static_cast<int>(state.range(0));
    const orvex::EffectFrame in = row->fmt == orvex::P010 ? w.P010() : w.Planar(row->fmt);
    for (auto _ : state) {
        if (vp.Convert(Repr(mode, static_cast<int>(in.bitDepth)), kSpace, in, f.none, f.outFrame, 0, 1) != orvex::Ok)
            state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
    SetRate(state);
}

void MatrixDecodeLibyuv(benchmark::State& state, const MatrixRow* row) {
    Frames& f = F();
    const libyuv::YuvConstants* k = state.range(0) == 0 ? &libyuv::kYuvH709Constants : &libyuv::kYuvF709Constants;
    for (auto _ : state) {
        row->library(W(), f.out.data, k);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}

// Argument: the CLSMode (2 BT.601 limited, 0 BT.709 limited).
void BGRAToNV12_Orvex(benchmark::State& state) {
    Frames& f = F();
    orvex::VisualProcess vp;
    const int mode = static_cast<int>(state.range(0));
    orvex::EffectFrame out = W().NV12();
    for (auto _ : state) {
        if (vp.Convert(Repr(mode), kSpace, f.bgraFrame, f.none, out, 0, 1) != orvex::Ok) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BGRAToNV12_Orvex)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// BT.601 only, under both arguments, as BGRAToYV12_Libyuv.
void BGRAToNV12_Libyuv(benchmark::State& state) {
    Frames& f = F();
    WideFrames& w = W();
    for (auto _ : state) {
        libyuv::ARGBToNV12(f.bgra.data, kW * 4, w.nv12Y.data(), kW, w.nv12UV.data(), kW, kW, kH);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BGRAToNV12_Libyuv)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

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
        for (const char* m : {"/2", "/0"}) {
            ratio(std::string("BGRAToYV12_Orvex") + m, std::string("BGRAToYV12_Libyuv") + m);
            ratio(std::string("BGRAToNV12_Orvex") + m, std::string("BGRAToNV12_Libyuv") + m);
        }
        for (const MatrixRow& row : kMatrixRows)
            for (const char* m : {"/0", "/1"})
                ratio(std::string(row.name) + "_Orvex" + m, std::string(row.name) + "_Libyuv" + m);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    for (const MatrixRow& row : kMatrixRows) {
        const std::string name = row.name;
        benchmark::RegisterBenchmark((name + "_Orvex").c_str(), MatrixDecodeOrvex, &row)
            ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((name + "_Libyuv").c_str(), MatrixDecodeLibyuv, &row)
            ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    return 0;
}
