// Resize, crop, rotate and flip: each operation run on host frames and on OpenCL textures (PoCL
// here) and compared sample by sample, plus the loading of the visual program table.
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "host/kit/kit.h"
#include "gpu/GpuDispatch.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::LogCapture;
using orvextest::PlanarFrame;
using Op = std::function<ResultCode(VisualProcess&, const EffectFrame&, EffectFrame&)>;

// One factory for the whole run: the dispatch's registry records that an algorithm is registered,
// not with which factory, so a second factory would find its programs marked as built already.
zrp::ATLUFactory* SharedFactory() {
    static const std::unique_ptr<zrp::ATLUFactory> factory = [] {
        orvexhost::KitOptions options;
        options.opengl = false;
        options.openclOnCpu = true;
        return orvexhost::MakeFactory(options);
    }();
    return factory.get();
}

class VisualOpenCL : public ::testing::Test {
protected:
    void SetUp() override {
        factory_ = SharedFactory();
        if (!factory_) GTEST_SKIP() << "no OpenCL device (install pocl-opencl-icd)";
        ASSERT_EQ(vp_.SetATLUFactory(factory_), Ok);
    }
    void TearDown() override { g_atlu_factory = nullptr; }

    // The texture twin of a host frame (its contents uploaded), or an empty one of its shape.
    EffectFrame OnGpu(const PlanarFrame& f, bool upload) {
        EffectFrame g;
        g.pixel_fmt = f.frame.pixel_fmt;
        g.bitDepth = f.frame.bitDepth;
        g.planes = f.frame.planes;
        g.width[0] = f.frame.width[0];
        g.height[0] = f.frame.height[0];
        g.texture = upload ? orvexhost::UploadFrame(*factory_, f.frame) : orvexhost::CreateTextureLike(*factory_, f.frame);
        EXPECT_TRUE(g.texture) << "format " << g.pixel_fmt;
        return g;
    }

    struct Outcome {
        int maxDiff = -1;
        double overTolerance = 0;  // share of samples beyond the tolerance
        std::string first;
    };

    // Runs op on `in` into cpu (host) and into a texture shaped like cpu, which is read back into gpu.
    Outcome Compare(const PlanarFrame& in, PlanarFrame& cpu, PlanarFrame& gpu, const Op& op, int tolerance) {
        Outcome o;
        EXPECT_EQ(op(vp_, in.frame, cpu.frame), Ok) << "CPU path";
        EffectFrame gin = OnGpu(in, true), gout = OnGpu(gpu, false);
        if (!gin.texture || !gout.texture) return o;
        EXPECT_EQ(op(vp_, gin, gout), Ok) << "OpenCL path";
        EXPECT_TRUE(orvexhost::DownloadFrame(*gout.texture, gpu.frame));
        EXPECT_TRUE(cpu.GuardsIntact() && gpu.GuardsIntact());
        o.maxDiff = cpu.MaxDiff(gpu, tolerance, &o.first);
        size_t over = 0, total = 0;
        for (int p = 0; p < cpu.planeCount; ++p)
            for (int y = 0; y < cpu.rows[p]; ++y)
                for (int x = 0; x < cpu.samples[p]; ++x, ++total)
                    over += std::abs(cpu.Get(p, x, y) - gpu.Get(p, x, y)) > tolerance;
        o.overTolerance = total ? static_cast<double>(over) / total : 0;
        return o;
    }

    zrp::ATLUFactory* factory_ = nullptr;
    VisualProcess vp_;
};

// --- the program table ------------------------------------------------------------------------------------

TEST_F(VisualOpenCL, TableLoadsOnceAndRegistersItsAlgorithms) {
    EXPECT_TRUE(vp_.gpuLoaded());
    LogCapture cap;
    VisualProcess other;
    ASSERT_EQ(other.SetATLUFactory(factory_), Ok);
    EXPECT_TRUE(cap.Has("LoadAllGPUAlgorithm_OPENCL begin", "orvex", 1)) << cap.Dump();
    EXPECT_TRUE(cap.Has("LoadAllGPUAlgorithm_OPENCL end", "orvex", 1)) << cap.Dump();
    ASSERT_EQ(other.SetATLUFactory(factory_), Ok);  // a second hand-over does not reload
    EXPECT_EQ(cap.Count("LoadAllGPUAlgorithm_OPENCL begin"), 1u);
    // The warmed-up programs are built; a name no program defines is simply absent.
    EXPECT_EQ(EnsureAlgorithmRegistered("resize_cubic"), 0);
    EXPECT_EQ(EnsureAlgorithmRegistered("NV12Resize_16"), 0) << "shares its program with NV12Resize";
    EXPECT_EQ(EnsureAlgorithmRegistered("no_such_kernel"), 1);
    for (const char* name : {"Rotate", "Resize_Mid_Low", "PixelRotate", "NV12Crop", "NV12Rotate", "NV12Rotate_16",
                             "YV12Resize", "YV12Resize_UINT16", "BGRACrop", "YV12Crop", "YV12Crop_UINT16",
                             "YUV422Crop", "YUV422Crop_UINT16", "YUVACROP", "resizeAREA_FAST", "resizeAREA",
                             "ResizeBlur", "yv12_rotate", "yuva_rotate_UINT16", "video_effect_horizontal_filp",
                             "video_effect_vertical_filp"})
        EXPECT_EQ(EnsureAlgorithmRegistered(name), 0) << name;
}

// --- Resize --------------------------------------------------------------------------------------------------

struct ResizeCase {
    const char* name;
    uint32_t fmt;
    int inW, inH, outW, outH, type, quality;
    bool smooth;     // a gentle gradient instead of noise
    int tolerance;   // largest allowed sample difference
};

std::ostream& operator<<(std::ostream& os, const ResizeCase& c) { return os << c.name; }

// Tolerances: the CPU resizes with the image library's fixed-point weights (11 fractional bits)
// and the YUV library's 8-bit ones; the kernels mix in float, so a mix may round one unit apart.
// Nearest picks the same pixel exactly. Upscales through the YUV library place samples corner to
// corner rather than centre to centre, so they are compared on gradients (slope 1 to 2 a pixel);
// its 16-bit scaler keeps 8 fractional bits, which on a 16-bit gradient is within 128.
const ResizeCase kResizeCases[] = {
    {"bgra_nearest_half", BGRA32, 96, 64, 48, 32, 0, 0, false, 0},
    {"bgra_nearest_double", BGRA32, 48, 32, 96, 64, 0, 0, false, 0},
    {"bgra_nearest_odd", BGRA32, 96, 64, 72, 40, 0, 0, false, 0},
    {"bgra_bilinear_down", BGRA32, 96, 64, 72, 40, 0, 1, false, 1},
    {"bgra_bilinear_up", BGRA32, 40, 30, 96, 64, 0, 1, false, 1},
    {"bgra_area", BGRA32, 96, 64, 64, 48, 0, 2, false, 1},
    {"bgra_area_fast", BGRA32, 96, 64, 48, 32, 0, 2, false, 1},
    {"bgra_area_fit", BGRA32, 96, 64, 64, 64, 1, 3, false, 1},
    {"bgra_cubic_up", BGRA32, 40, 30, 96, 64, 0, 2, false, 1},
    {"bgra_fit", BGRA32, 64, 48, 96, 40, 1, 1, false, 1},
    {"bgra_zoom", BGRA32, 64, 48, 40, 96, 4, 1, false, 1},
    {"bgra64_bilinear", BGRA64, 48, 32, 30, 20, 0, 1, false, 1},
    {"yv12_nearest_half", YV12, 64, 48, 32, 24, 0, 0, false, 0},
    {"yv12_bilinear_half", YV12, 64, 48, 32, 24, 0, 1, false, 1},
    {"yv12_bilinear_up", YV12, 32, 24, 64, 48, 0, 1, true, 1},
    {"nv12_nearest_half", NV12, 64, 48, 32, 24, 0, 0, false, 0},
    {"nv12_bilinear_half", NV12, 64, 48, 32, 24, 0, 1, false, 1},
    {"nv12_bilinear_up", NV12, 32, 24, 64, 48, 0, 1, true, 1},
    {"nv12_fit", NV12, 64, 32, 48, 48, 1, 1, true, 1},
    {"nv12_zoom", NV12, 64, 32, 32, 48, 4, 1, true, 1},
    {"p010_bilinear_half", P010, 64, 48, 32, 24, 0, 1, false, 1},
    {"p010_fit", P010, 64, 32, 48, 48, 1, 1, true, 128},
};

class ResizeOpenCL : public VisualOpenCL, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(ResizeOpenCL, MatchesTheCpu) {
    const ResizeCase& c = GetParam();
    PlanarFrame in(c.fmt, c.inW, c.inH), cpu(c.fmt, c.outW, c.outH), gpu(c.fmt, c.outW, c.outH);
    if (c.smooth) {
        const int top = in.MaxValue();
        in.Fill([&](int p, int x, int y) { return (top / 255) * (p * 40 + x + 2 * y); });
    } else {
        in.FillRandom(17);
    }
    const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
        return vp.Resize(a, b, c.type, c.quality);
    }, c.tolerance);
    EXPECT_LE(o.maxDiff, c.tolerance) << "first beyond " << c.tolerance << ": " << o.first;
}

INSTANTIATE_TEST_SUITE_P(Cases, ResizeOpenCL, ::testing::ValuesIn(kResizeCases),
                         [](const ::testing::TestParamInfo<ResizeCase>& i) { return std::string(i.param.name); });

TEST_F(VisualOpenCL, ResizeNeedsBothTextures) {
    PlanarFrame in(BGRA32, 16, 16), out(BGRA32, 8, 8);
    out.Fill([](int, int, int) { return 7; });
    EffectFrame gin = OnGpu(in, true);
    LogCapture cap;
    EXPECT_EQ(vp_.Resize(gin, out.frame, 0, 1), InvalidArgument);
    EXPECT_TRUE(cap.Has("ret failed!", "orvex:Resize_GPU", 4)) << cap.Dump();
    EXPECT_EQ(out.Get(0, 0, 0), 7);
    PlanarFrame yuva(YUVA420, 16, 16), yuvaOut(YUVA420, 8, 8);
    yuvaOut.Fill([](int, int, int) { return 7; });
    EffectFrame g = OnGpu(yuva, true);
    EXPECT_EQ(vp_.Resize(g, yuvaOut.frame, 0, 1), InvalidArgument) << "a YUVA420 texture into host memory";
    EXPECT_EQ(yuvaOut.Get(3, 0, 0), 7);
}

// --- CropFrame -------------------------------------------------------------------------------------------

struct CropCase {
    uint32_t fmt;
    fxRectf rect;
    int outW, outH;
};

TEST_F(VisualOpenCL, CropMatchesTheCpuForEveryFormat) {
    const fxRectf whole{0, 0, 1, 1}, inner{0.25f, 0.125f, 0.5f, 0.625f};
    for (uint32_t fmt : {uint32_t{BGRA32}, uint32_t{BGRA64}, uint32_t{YV12}, uint32_t{YV12P10}, uint32_t{NV12},
                         uint32_t{P010}, uint32_t{YUVA420}, uint32_t{YUVAP10}, uint32_t{YUV422},
                         uint32_t{YUV422_16}}) {
        for (const CropCase& c : {CropCase{fmt, whole, 40, 32}, CropCase{fmt, inner, 40, 32},
                                  CropCase{fmt, inner, 13, 9}, CropCase{fmt, inner, 57, 45}}) {
            PlanarFrame in(fmt, 40, 32), cpu(fmt, c.outW, c.outH), gpu(fmt, c.outW, c.outH);
            in.FillRandom(fmt + 5);
            // Both sides mix in float by one formula; rounding may still tip a mix that sits on a half.
            const int tolerance = 1;
            const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
                return vp.CropFrame(a, c.rect, b, 0);
            }, tolerance);
            EXPECT_LE(o.maxDiff, tolerance) << "format " << fmt << " -> " << c.outW << "x" << c.outH << ": " << o.first;
        }
    }
}

// --- PixelRotate, Rotate, flips ----------------------------------------------------------------------------

TEST_F(VisualOpenCL, QuarterTurnsAndMirrorsAreExactOnEveryLayout) {
    for (uint32_t fmt : {uint32_t{BGRA32}, uint32_t{NV12}, uint32_t{P010}, uint32_t{YV12}, uint32_t{YUVA420},
                         uint32_t{YV12P10}, uint32_t{YUVAP10}}) {
        PlanarFrame in(fmt, 22, 14);
        in.FillRandom(fmt + 9);
        for (int type : {0, 1, 2, 3, 4, 8}) {
            const bool swap = type == 0 || type == 2 || type == 8;
            PlanarFrame cpu(fmt, swap ? 14 : 22, swap ? 22 : 14), gpu(fmt, swap ? 14 : 22, swap ? 22 : 14);
            const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
                return vp.PixelRotate(a, b, type);
            }, 0);
            EXPECT_EQ(o.maxDiff, 0) << "format " << fmt << " type " << type << ": " << o.first;
        }
    }
}

TEST_F(VisualOpenCL, FreeRotationMatchesTheCpu) {
    PlanarFrame in(BGRA32, 48, 36);
    in.FillRandom(4);
    for (int sampler : {0, 1}) {
        for (double theta : {0.0, 30.0, -117.5}) {
            PlanarFrame cpu(BGRA32, 56, 44), gpu(BGRA32, 56, 44);
            // Float against double positions: a sample landing on a pixel edge may go either way,
            // which for nearest (or the picture's border) is a whole pixel; allow it on 0.2% of
            // samples, and one unit of rounding elsewhere.
            const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
                return vp.Rotate(a, b, theta, sampler);
            }, 1);
            EXPECT_LE(o.overTolerance, 0.002) << "sampler " << sampler << " theta " << theta << ": " << o.first;
        }
    }
}

TEST_F(VisualOpenCL, FlipsAreExact) {
    PlanarFrame in(BGRA32, 31, 17);
    in.FillRandom(3);
    for (bool horizontal : {true, false}) {
        PlanarFrame cpu(BGRA32, 31, 17), gpu(BGRA32, 31, 17);
        const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
            return horizontal ? vp.HorizontalFlip(a, b) : vp.VerticalFlip(a, b);
        }, 0);
        EXPECT_EQ(o.maxDiff, 0) << o.first;
    }
}

TEST_F(VisualOpenCL, ResizeBlurMatchesTheCpu) {
    PlanarFrame in(BGRA32, 128, 112);
    in.FillRandom(6);
    // Targets of a quarter and a sixteenth of the area: radius 1 and 2.
    for (int div : {2, 4}) {
        PlanarFrame cpu(BGRA32, 128, 112), gpu(BGRA32, 128, 112);
        const Outcome o = Compare(in, cpu, gpu, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
            return vp.ResizeBlur(a, b, 128 / div, 112 / div, 0, 5);
        }, 1);
        EXPECT_LE(o.maxDiff, 1) << "target 1/" << div * div << ": " << o.first;
    }
}

TEST_F(VisualOpenCL, TexturesOfTheWrongLayoutAreRefused) {
    // A YV12 frame whose texture holds 16-bit samples: an 8-bit kernel would read past its planes.
    PlanarFrame in(YV12P10, 16, 16), out(YV12P10, 16, 16);
    EffectFrame gin = OnGpu(in, true), gout = OnGpu(out, false);
    gin.pixel_fmt = gout.pixel_fmt = YV12;
    gin.bitDepth = gout.bitDepth = 8;
    LogCapture cap;
    EXPECT_NE(vp_.CropFrame(gin, fxRectf{0, 0, 1, 1}, gout, 0), Ok);
    EXPECT_NE(vp_.PixelRotate(gin, gout, 1), Ok);
    EXPECT_NE(vp_.Resize(gin, gout, 0, 1), Ok);
}

}  // namespace
}  // namespace orvex
