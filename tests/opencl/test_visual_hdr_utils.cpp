// HDR, colour-space and frame-utility operations on OpenCL textures (PoCL here), each compared with
// its CPU path on the same frame, or with independent ground truth where it has no CPU path.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/kit/kit.h"
#include "imagecpu/BlendTables.h"
#include "gpu/GpuDispatch.h"
#include "planar_frames.h"
#include "visual/HdrCurves.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::PlanarFrame;

zrp::ATLUFactory* Factory() {
    static const std::unique_ptr<zrp::ATLUFactory> factory = [] {
        orvexhost::KitOptions options;
        options.opengl = false;
        options.openclOnCpu = true;
        return orvexhost::MakeFactory(options);
    }();
    return factory.get();
}

class UtilOpenCL : public ::testing::Test {
protected:
    void SetUp() override {
        factory_ = Factory();
        if (!factory_) GTEST_SKIP() << "no OpenCL device (install pocl-opencl-icd)";
        ASSERT_EQ(vp_.SetATLUFactory(factory_), Ok);
        vp_.SetResourcePath(ORVEX_SOURCE_DIR);
    }
    void TearDown() override { g_atlu_factory = nullptr; }

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

    // Runs op on host frames into cpu and on their textures into gpu (read back); returns the
    // largest sample difference and names the first beyond the tolerance.
    using Op = std::function<ResultCode(VisualProcess&, std::vector<const EffectFrame*>, EffectFrame&)>;
    int Compare(const std::vector<const PlanarFrame*>& inputs, PlanarFrame& cpu, PlanarFrame& gpu, const Op& op,
                int tolerance, std::string* first) {
        std::vector<const EffectFrame*> hostIn;
        for (const PlanarFrame* f : inputs) hostIn.push_back(&f->frame);
        EXPECT_EQ(op(vp_, hostIn, cpu.frame), Ok) << "CPU path";
        std::vector<EffectFrame> gin;
        gin.reserve(inputs.size());
        std::vector<const EffectFrame*> gpuIn;
        for (const PlanarFrame* f : inputs) gin.push_back(OnGpu(*f, true));
        for (const EffectFrame& g : gin) gpuIn.push_back(&g);
        EffectFrame gout = OnGpu(gpu, false);
        if (!gout.texture) return -1;
        EXPECT_EQ(op(vp_, gpuIn, gout), Ok) << "OpenCL path";
        EXPECT_TRUE(orvexhost::DownloadFrame(*gout.texture, gpu.frame));
        EXPECT_TRUE(cpu.GuardsIntact());
        return cpu.MaxDiff(gpu, tolerance, first);
    }

    // A GPU-only operation on one (optional) input, read back into out.
    ResultCode RunGpu(const PlanarFrame* in, PlanarFrame& out,
                      const std::function<ResultCode(VisualProcess&, const EffectFrame&, EffectFrame&)>& op) {
        EffectFrame gin = in ? OnGpu(*in, true) : EffectFrame{};
        EffectFrame gout = OnGpu(out, false);
        const ResultCode r = op(vp_, gin, gout);
        if (r == Ok) {
            EXPECT_TRUE(orvexhost::DownloadFrame(*gout.texture, out.frame));
        }
        return r;
    }

    zrp::ATLUFactory* factory_ = nullptr;
    VisualProcess vp_;
};

// --- HDR --------------------------------------------------------------------------------------------------

TEST_F(UtilOpenCL, HDR2SDRAppliesTheCpuCube) {
    // 8-bit textures take the cube the CPU applies: the same bytes, premultiplied alike.
    PlanarFrame in(BGRA32, 256, 8), cpu(BGRA32, 256, 8), gpu(BGRA32, 256, 8);
    FillHdrRamps(in, 21);
    for (int pq : {1, 0}) {
        std::string first;
        EXPECT_EQ(Compare({&in}, cpu, gpu, [&](VisualProcess& vp, auto ins, EffectFrame& out) {
            return vp.HDR2SDR(*ins[0], out, pq, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
        }, 0, &first), 0) << (pq ? "PQ " : "HLG ") << first;
    }
    // Without a cube to load (no resource path) textures get the tone mapper's curves: on the
    // ramps within the cube's own 3 codes of them.
    VisualProcess bare;
    ASSERT_EQ(bare.SetATLUFactory(factory_), Ok);
    PlanarFrame curves(BGRA32, 256, 8);
    ASSERT_EQ(RunGpu(&in, curves, [&](VisualProcess&, const EffectFrame& a, EffectFrame& b) {
        return bare.HDR2SDR(a, b, 0, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
    }), Ok);
    int rampMax = 0;
    for (int y = 0; y < 4; ++y)
        for (int s = 0; s < 256 * 4; ++s) rampMax = std::max(rampMax, std::abs(cpu.Get(0, s, y) - curves.Get(0, s, y)));
    EXPECT_LE(rampMax, 3);
}

TEST_F(UtilOpenCL, HDR2SDRCubeRoundsAsTheCpuOutOfRange) {
    // A cube whose entries leave 0..1 (below, above, beyond 2^31 on the byte scale, not a number):
    // the kernel saturates and rounds them as the CPU's conversion does.
    const std::filesystem::path root = std::filesystem::path(::testing::TempDir()) / "orvex-wild-cube";
    const std::filesystem::path file = root / "resources/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "LUT_3D_SIZE 2\n0 0 0\n-0.5 1.5 2\n1e10 0.25 -1e10\n0.3 0.7 0.9\n"
                           "1 1 1\n0.001 0.999 0.5\n9e6 -9e6 0.2\n0.5 0.5 nan\n";
    ASSERT_EQ(vp_.SetResourcePath(root.c_str()), Ok);
    PlanarFrame in(BGRA32, 256, 8), cpu(BGRA32, 256, 8), gpu(BGRA32, 256, 8);
    FillHdrRamps(in, 22);
    std::string first;
    EXPECT_EQ(Compare({&in}, cpu, gpu, [&](VisualProcess& vp, auto ins, EffectFrame& out) {
        return vp.HDR2SDR(*ins[0], out, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
    }, 0, &first), 0) << first;
}

TEST_F(UtilOpenCL, HLGToPQAndBackOnTheCurves) {
    PlanarFrame in(BGRA32, 256, 1), pq(BGRA32, 256, 1), back(BGRA32, 256, 1);
    in.Fill([](int, int s, int) { return s % 4 == 3 ? 255 : s / 4; });
    ASSERT_EQ(RunGpu(&in, pq, [](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) { return vp.HLGToPQ(a, b); }),
              Ok);
    // Code 128 through the published curves in double precision.
    const double scene = std::pow(128 / 255.0, 2) / 3;  // below 0.5: x^2 / 3
    const double nits = 1000.0 * std::pow(scene, 1.2);
    const double y = std::pow(nits / 10000.0, 2610.0 / 16384.0);
    const double code = std::pow((0.8359375 + 18.8515625 * y) / (1 + 18.6875 * y), 78.84375);
    EXPECT_NEAR(pq.Get(0, 128 * 4 + 1, 0), code * 255, 1.0);
    ASSERT_EQ(RunGpu(&pq, back, [](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) { return vp.PQToHLG(a, b); }),
              Ok);
    // Back to HLG within the quantisation of the 8-bit PQ step in between.
    for (int x = 32; x < 256; x += 16) EXPECT_NEAR(back.Get(0, x * 4, 0), x, 3) << x;
    EXPECT_EQ(back.Get(0, 3, 0), 255) << "alpha kept";
}

TEST_F(UtilOpenCL, SDR2HDRRisesWithTheSignalAndPremultiplies) {
    PlanarFrame in(BGRA32, 256, 2), out(BGRA32, 256, 2);
    in.Fill([](int, int s, int y) { return s % 4 == 3 ? (y == 0 ? 255 : 0) : s / 4; });
    for (int pq : {1, 0}) {
        ASSERT_EQ(RunGpu(&in, out, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
            return vp.SDR2HDR(a, b, pq, 2);
        }), Ok);
        EXPECT_EQ(out.Get(0, 0, 0), 0) << "black";
        for (int x = 1; x < 256; ++x) EXPECT_GE(out.Get(0, x * 4 + 1, 0), out.Get(0, (x - 1) * 4 + 1, 0)) << x;
        EXPECT_GT(out.Get(0, 255 * 4 + 1, 0), 100);
        EXPECT_EQ(out.Get(0, 200 * 4 + 1, 1), 0) << "alpha 0 premultiplies to 0";
    }
}

TEST_F(UtilOpenCL, ChangeColorSpaceMatchesTheCpu) {
    PlanarFrame in(BGRA32, 33, 9), cpu(BGRA32, 33, 9), gpu(BGRA32, 33, 9);
    in.FillRandom(22);
    ColorSpace::pl_color_repr repr{};
    repr.bits.color_depth = 8;
    ColorSpace::pl_color_space from{}, to{};
    from.primaries = ColorSpace::PL_COLOR_PRIM_BT_709;
    to.primaries = ColorSpace::PL_COLOR_PRIM_BT_2020;
    std::string first;
    const int d = Compare({&in}, cpu, gpu, [&](VisualProcess& vp, auto ins, EffectFrame& out) {
        return vp.ChangeColorSpace(*ins[0], out, &repr, &from, &repr, &to);
    }, 1, &first);
    EXPECT_LE(d, 1) << first;
}

// --- frame utilities ------------------------------------------------------------------------------------

struct UtilCase {
    using Op = std::function<ResultCode(VisualProcess&, std::vector<const EffectFrame*>, EffectFrame&)>;
    const char* name;
    uint32_t fmt;
    int inputs;
    Op op;
    int tolerance;
};

std::ostream& operator<<(std::ostream& os, const UtilCase& c) { return os << c.name; }

// Tolerances: the CPU deinterlace halves with a shift (floor), the kernels round to nearest; the
// other kernels mix in float like the CPU and may tip a half the other way.
const UtilCase kUtilCases[] = {
    {"deinterlace_nv12", NV12, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Deinterlace(*in[0], o, 0); }, 1},
    {"deinterlace_p010", P010, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Deinterlace(*in[0], o, 0); }, 1},
    {"deinterlace_yv12", YV12, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Deinterlace(*in[0], o, 1); }, 1},
    {"deinterlace_yv12p10", YV12P10, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Deinterlace(*in[0], o, 0); }, 1},
    {"deinterlace_yuva", YUVA420, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Deinterlace(*in[0], o, 0); }, 1},
    {"interpolate_bgra", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.FrameInterpolation(*in[0], *in[1], o, 0.3f); }, 1},
    {"interpolate_nv12", NV12, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.FrameInterpolation(*in[0], *in[1], o, 0.7f); }, 1},
    {"interpolate_yv12", YV12, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.FrameInterpolation(*in[0], *in[1], o, 0.5f); }, 1},
    {"interpolate_yuvap10", YUVAP10, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.FrameInterpolation(*in[0], *in[1], o, 0.25f); }, 1},
    {"premultiply_bgra", BGRA32, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 1, false); }, 1},
    {"premultiply_bgra_opaque", BGRA32, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 0, false); }, 0},
    {"premultiply_yuva", YUVA420, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 1, false); }, 1},
    {"premultiply_yuva_full", YUVA420, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 1, true); }, 1},
    {"premultiply_yuvap10", YUVAP10, 1, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 1, false); }, 1},
    {"fill_bgra", BGRA32, 0, [](VisualProcess& vp, auto, EffectFrame& o) { return vp.FillFrame(o, false, 0x80402010); }, 0},
    {"fill_yv12", YV12, 0, [](VisualProcess& vp, auto, EffectFrame& o) { return vp.FillFrame(o, false, 0); }, 0},
    {"fill_yuva", YUVA420, 0, [](VisualProcess& vp, auto, EffectFrame& o) { return vp.FillFrame(o, true, 0x11223344); }, 0},
    {"fill_nv12", NV12, 0, [](VisualProcess& vp, auto, EffectFrame& o) { return vp.FillFrame(o, false, 0x00806040); }, 0},
    {"channel_control_green", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.channelControl(*in[0], *in[1], o, 1); }, 1},
    {"channel_control_copy", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.channelControl(*in[0], *in[1], o, 9); }, 0},
    {"mask_alpha", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.viewmaskasalpha(*in[0], *in[1], o, o.texture ? 2 : 1); }, 1},
    {"mask_result", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.viewmaskasresult(*in[0], *in[1], o, o.texture ? 2 : 1); }, 1},
    {"mask_square", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.viewmaskassquare(*in[0], *in[1], o, o.texture ? 2 : 1); }, 1},
    {"mask_colormask", BGRA32, 2, [](VisualProcess& vp, auto in, EffectFrame& o) { return vp.viewmaskascolormask(*in[0], *in[1], 0x3060C080u, o, o.texture ? 2 : 1); }, 1},
};

class UtilOpenCLCases : public UtilOpenCL, public ::testing::WithParamInterface<UtilCase> {};

TEST_P(UtilOpenCLCases, MatchesTheCpu) {
    const UtilCase& c = GetParam();
    PlanarFrame a(c.fmt, 38, 22), b(c.fmt, 38, 22), cpu(c.fmt, 38, 22), gpu(c.fmt, 38, 22);
    a.FillRandom(31);
    b.FillRandom(32);
    std::vector<const PlanarFrame*> inputs;
    if (c.inputs > 0) inputs.push_back(&a);
    if (c.inputs > 1) inputs.push_back(&b);
    std::string first;
    const int d = Compare(inputs, cpu, gpu, c.op, c.tolerance, &first);
    EXPECT_GE(d, 0);
    EXPECT_LE(d, c.tolerance) << first;
}

INSTANTIATE_TEST_SUITE_P(Cases, UtilOpenCLCases, ::testing::ValuesIn(kUtilCases),
                         [](const ::testing::TestParamInfo<UtilCase>& i) { return std::string(i.param.name); });

TEST_F(UtilOpenCL, MaskViewsSampleBilinearlyAcrossSizes) {
    // A smaller mask and a larger source than the output: both paths sample at the output centres.
    PlanarFrame src(BGRA32, 50, 30), mask(BGRA32, 20, 12), cpu(BGRA32, 37, 23), gpu(BGRA32, 37, 23);
    src.FillRandom(41);
    mask.FillRandom(42);
    std::string first;
    const int d = Compare({&src, &mask}, cpu, gpu, [](VisualProcess& vp, auto in, EffectFrame& o) {
        return vp.viewmaskasresult(*in[0], *in[1], o, o.texture ? 2 : 1);
    }, 1, &first);
    EXPECT_LE(d, 1) << first;
}

TEST_F(UtilOpenCL, MaskViewsOnOpenGLMatchTheCpu) {
    orvexhost::KitOptions options;
    options.opencl = false;
    const std::unique_ptr<zrp::ATLUFactory> gl = orvexhost::MakeFactory(options);
    if (!gl || !gl->GetDeviceContext("opengl")) GTEST_SKIP() << "no OpenGL device context in this build";
    VisualProcess vp;
    ASSERT_EQ(vp.SetATLUFactory(gl.get()), Ok);
    using View = std::function<ResultCode(const EffectFrame&, const EffectFrame&, EffectFrame&, int32_t)>;
    const std::pair<const char*, View> views[] = {
        {"square", [&](const EffectFrame& s, const EffectFrame& m, EffectFrame& o, int32_t t) {
             return vp.viewmaskassquare(s, m, o, t);
         }},
        {"result", [&](const EffectFrame& s, const EffectFrame& m, EffectFrame& o, int32_t t) {
             return vp.viewmaskasresult(s, m, o, t);
         }},
        {"alpha", [&](const EffectFrame& s, const EffectFrame& m, EffectFrame& o, int32_t t) {
             return vp.viewmaskasalpha(s, m, o, t);
         }},
        {"colour mask", [&](const EffectFrame& s, const EffectFrame& m, EffectFrame& o, int32_t t) {
             return vp.viewmaskascolormask(s, m, 0xFF3080C0u, o, t);
         }},
    };
    for (const auto& [name, view] : views) {
        PlanarFrame src(BGRA32, 32, 16), mask(BGRA32, 32, 16), cpu(BGRA32, 32, 16), out(BGRA32, 32, 16);
        src.FillRandom(43);
        mask.FillRandom(44);
        ASSERT_EQ(view(src.frame, mask.frame, cpu.frame, 1), Ok) << name;
        EffectFrame gs, gm, go;
        for (auto [g, f] : {std::pair<EffectFrame*, PlanarFrame*>{&gs, &src}, {&gm, &mask}, {&go, &out}}) {
            *g = f->frame;
            g->texture = orvexhost::UploadFrame(*gl, f->frame, "opengl");
            ASSERT_TRUE(g->texture);
        }
        ASSERT_EQ(view(gs, gm, go, 3), Ok) << name;
        ASSERT_TRUE(orvexhost::DownloadFrame(*go.texture, out.frame));
        EXPECT_LE(cpu.MaxDiff(out), 1) << name;
    }
}

// --- CPU forms of the kernels, on odd sizes ----------------------------------------------------------------

// Each routine on host frames and on their textures, 37 x 23 (odd both ways), inputs of the
// output's format unless `inFmt` says otherwise. Tolerances: one code at 8 and at 16 bits (the
// kernels compute in float, the CPU in double or the same float steps, so a half may tip); the
// 16-bit HDR rows allow a few codes of 65535 for the float curves of the kernels (measured 1 for
// the transfers, 3 for the PQ tone map, whose 1/2.4 power steepens the error near black).
struct TwinCase {
    const char* name;
    uint32_t fmt;
    int inputs;
    UtilCase::Op op;
    int tolerance;
    uint32_t inFmt = 0;
};

std::ostream& operator<<(std::ostream& os, const TwinCase& c) { return os << c.name; }

using Ins = std::vector<const EffectFrame*>;
const MotionAnimationParam kTurned{0.8f, 0.6f, 30.0f, {0.4f, 0.5f}, {0.5f, 0.45f}, 37, 23, 0.1f, 0.0f};
const MotionAnimationParam kEnlarged{1.5f, 1.25f, -20.0f, {0.5f, 0.5f}, {0.55f, 0.5f}, 30, 20, 0.0f, 0.2f};

GradientData Stops() {
    GradientData g{};
    g.count = 3;
    g.colors[0] = 0xFF0000FFu;  // bytes lowest first (B, G, R, A): opaque blue
    g.colors[1] = 0x8000FF00u;  // half-transparent green
    g.colors[2] = 0xFFFF0000u;  // opaque red
    g.precent[0] = 0.0f;
    g.precent[1] = 0.4f;
    g.precent[2] = 1.0f;
    g.posX[0] = 0.3f;
    g.posY[0] = 0.6f;
    return g;
}

ResultCode Gradient(VisualProcess& vp, EffectFrame& o, int type) {
    const GradientData g = Stops();
    return vp.Do_Gradient(o, type, g);
}

// BlendAndTransform of 16-bit frames: overlay in[0] over in[1] (or transparent black).
UtilCase::Op Placed(int mode, int pre, double theta, double sx, double sy, double kx, bool blank = false) {
    return [=](VisualProcess& vp, Ins in, EffectFrame& o) {
        return vp.BlendAndTransform(*in[0], {0.45, 0.55}, *in[1], {0.5, 0.5}, blank, o, mode, 0, 0.8, pre, 1, theta,
                                    sx, sy, kx, 0.05);
    };
}

const TwinCase kTwinCases[] = {
    {"transform_normal_16", BGRA64, 2, Placed(0, 0, 30, 0.8, 0.7, 0.1), 1},
    {"transform_normal_pre_16", BGRA64, 2, Placed(0, 1, -12, 1.3, 1.1, 0), 1},
    {"transform_multiply_16", BGRA64, 2, Placed(2, 0, 0, 0.6, 0.6, 0), 1},
    {"transform_soft_light_16", BGRA64, 2, Placed(9, 0, 45, 1, 1, 0.2), 1},
    {"transform_hard_mix_16", BGRA64, 2, Placed(14, 0, 0, 1, 1, 0), 1},
    {"transform_add_16", BGRA64, 2, Placed(23, 0, 90, 0.9, 0.9, 0), 1},
    {"transform_hollow_in_16", BGRA64, 2, Placed(19, 0, 10, 0.7, 0.9, 0), 1},
    {"transform_hollow_out_16", BGRA64, 2, Placed(20, 0, 10, 0.7, 0.9, 0), 1},
    {"transform_bg_hollow_16", BGRA64, 2, Placed(21, 0, 10, 0.7, 0.9, 0), 1},
    {"transform_replace_16", BGRA64, 2, Placed(22, 0, 10, 0.7, 0.9, 0), 1},
    {"transform_over_premultiplied_bg_16", BGRA64, 2, Placed(18, 1, 20, 1, 1, 0), 1},
    {"transform_blank_16", BGRA64, 2, Placed(0, 0, 30, 0.8, 0.7, 0.1, true), 1},
    {"sdr2hdr_pq_709", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.SDR2HDR(*in[0], o, 1, 2); }, 1},
    {"sdr2hdr_hlg_pal", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.SDR2HDR(*in[0], o, 0, 0); }, 1},
    {"sdr2hdr_hlg_ntsc_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.SDR2HDR(*in[0], o, 0, 1); }, 2},
    {"sdr2hdr_pq_8_to_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.SDR2HDR(*in[0], o, 1, 2); }, 2, BGRA32},
    {"hdr2sdr_pq", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) {
         return vp.HDR2SDR(*in[0], o, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
     }, 0},
    {"hdr2sdr_pq_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) {
         return vp.HDR2SDR(*in[0], o, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
     }, 4},
    {"hdr2sdr_hlg_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) {
         return vp.HDR2SDR(*in[0], o, 0, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
     }, 4},
    {"pq2hlg", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.PQToHLG(*in[0], o); }, 1},
    {"hlg2pq", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.HLGToPQ(*in[0], o); }, 1},
    {"pq2hlg_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.PQToHLG(*in[0], o); }, 2},
    {"hlg2pq_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.HLGToPQ(*in[0], o); }, 2},
    {"blend_mask2_alpha", BGRA32, 3, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.BlendMask2(*in[0], *in[1], *in[2], 3, o, 100); }, 1},
    {"blend_mask2_green_40", BGRA32, 3, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.BlendMask2(*in[0], *in[1], *in[2], 1, o, 40); }, 1},
    {"blend_mask2_other_16", BGRA64, 3, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.BlendMask2(*in[0], *in[1], *in[2], 7, o, 75); }, 1},
    {"blend_mask_notype", BGRA32, 3, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Blend_Mask_NoType(*in[0], *in[1], *in[2], o); }, 1},
    {"blend_mask_notype_16", BGRA64, 3, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Blend_Mask_NoType(*in[0], *in[1], *in[2], o); }, 1},
    {"gradient_0", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 0); }, 1},
    {"gradient_1", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 1); }, 1},
    {"gradient_2", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 2); }, 1},
    {"gradient_3", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 3); }, 1},
    {"gradient_radial", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 4); }, 1},
    {"gradient_elliptic_16", BGRA64, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 5); }, 1},
    {"gradient_unknown", BGRA32, 0, [](VisualProcess& vp, Ins, EffectFrame& o) { return Gradient(vp, o, 9); }, 0},
    {"motion_animation_turned", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Motion_Animation(*in[0], o, kTurned); }, 1},
    {"motion_animation_enlarged", BGRA32, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Motion_Animation(*in[0], o, kEnlarged); }, 1},
    {"motion_animation_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Motion_Animation(*in[0], o, kTurned); }, 1},
    {"premultiply_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 1, false); }, 1},
    {"premultiply_opaque_16", BGRA64, 1, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.Premultiply(*in[0], o, 0, false); }, 0},
    {"mask_square_16", BGRA64, 2, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.viewmaskassquare(*in[0], *in[1], o, o.texture ? 2 : 1); }, 1},
    {"mask_colormask_16", BGRA64, 2, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.viewmaskascolormask(*in[0], *in[1], 0x3060C080u, o, o.texture ? 2 : 1); }, 1},
    {"channel_control_red_16", BGRA64, 2, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.channelControl(*in[0], *in[1], o, 0); }, 1},
    {"channel_control_alpha_16", BGRA64, 2, [](VisualProcess& vp, Ins in, EffectFrame& o) { return vp.channelControl(*in[0], *in[1], o, 3); }, 1},
};

class TwinOpenCL : public UtilOpenCL, public ::testing::WithParamInterface<TwinCase> {};

TEST_P(TwinOpenCL, CpuMatchesTheKernelOnOddSizes) {
    const TwinCase& c = GetParam();
    const uint32_t inFmt = c.inFmt ? c.inFmt : c.fmt;
    PlanarFrame a(inFmt, 37, 23), b(inFmt, 37, 23), m(inFmt, 37, 23), cpu(c.fmt, 37, 23), gpu(c.fmt, 37, 23);
    a.FillRandom(71);
    b.FillRandom(72);
    m.FillRandom(73);
    const PlanarFrame* all[] = {&a, &b, &m};
    std::vector<const PlanarFrame*> inputs(all, all + c.inputs);
    std::string first;
    const int d = Compare(inputs, cpu, gpu, c.op, c.tolerance, &first);
    EXPECT_GE(d, 0);
    EXPECT_LE(d, c.tolerance) << first;
}

INSTANTIATE_TEST_SUITE_P(Cases, TwinOpenCL, ::testing::ValuesIn(kTwinCases),
                         [](const ::testing::TestParamInfo<TwinCase>& i) { return std::string(i.param.name); });

TEST_F(UtilOpenCL, MaskMixAndMotionSampleAcrossSizes) {
    // Inputs of other sizes than the output: every path samples at the output's centres.
    PlanarFrame ov(BGRA32, 50, 31), bg(BGRA32, 21, 13), mask(BGRA32, 9, 40), cpu(BGRA32, 37, 23), gpu(BGRA32, 37, 23);
    ov.FillRandom(81);
    bg.FillRandom(82);
    mask.FillRandom(83);
    std::string first;
    EXPECT_LE(Compare({&ov, &bg, &mask}, cpu, gpu, [](VisualProcess& vp, Ins in, EffectFrame& o) {
        return vp.Blend_Mask_NoType(*in[0], *in[1], *in[2], o);
    }, 1, &first), 1) << first;
    // A large input shrunk: the footprint average over partial texels.
    const MotionAnimationParam shrink{0.45f, 0.3f, 10.0f, {0.5f, 0.5f}, {0.5f, 0.5f}, 37, 23, 0.0f, 0.0f};
    EXPECT_LE(Compare({&ov}, cpu, gpu, [&](VisualProcess& vp, Ins in, EffectFrame& o) {
        return vp.Motion_Animation(*in[0], o, shrink);
    }, 1, &first), 1) << first;
}

// --- GPU-only operations ---------------------------------------------------------------------------------

TEST_F(UtilOpenCL, GradientTypeZeroIsALeftToRightRamp) {
    PlanarFrame out(BGRA32, 64, 4);
    GradientData g{};
    g.count = 2;
    g.colors[0] = 0xFF000000;  // opaque black
    g.colors[1] = 0xFFFFFFFF;  // opaque white
    g.precent[0] = 0;
    g.precent[1] = 1;
    ASSERT_EQ(RunGpu(nullptr, out, [&](VisualProcess& vp, const EffectFrame&, EffectFrame& o) {
        return vp.Do_Gradient(o, 0, g);
    }), Ok);
    for (int x = 0; x < 64; ++x) {
        EXPECT_NEAR(out.Get(0, x * 4 + 1, 2), (x + 0.5) / 64 * 255, 1) << x;
        EXPECT_EQ(out.Get(0, x * 4 + 3, 2), 255);
    }
    ASSERT_EQ(RunGpu(nullptr, out, [&](VisualProcess& vp, const EffectFrame&, EffectFrame& o) {
        return vp.Do_Gradient(o, 9, g);
    }), Ok);
    EXPECT_EQ(out.Get(0, 2, 0), 255) << "unknown type: opaque red";
    EXPECT_EQ(out.Get(0, 0, 0), 0);
}

TEST_F(UtilOpenCL, BlendMaskNoTypeMixesByTheMask) {
    PlanarFrame ov(BGRA32, 24, 10), bg(BGRA32, 24, 10), mask(BGRA32, 24, 10), out(BGRA32, 24, 10);
    ov.FillRandom(51);
    bg.FillRandom(52);
    mask.FillRandom(53);
    EffectFrame go = OnGpu(ov, true), gb = OnGpu(bg, true), gm = OnGpu(mask, true), gout = OnGpu(out, false);
    ASSERT_EQ(vp_.Blend_Mask_NoType(go, gb, gm, gout), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*gout.texture, out.frame));
    for (int y = 0; y < 10; ++y)
        for (int s = 0; s < 24 * 4; ++s) {
            const double m = mask.Get(0, s / 4 * 4 + 3, y) / 255.0;
            ASSERT_NEAR(out.Get(0, s, y), ov.Get(0, s, y) * (1 - m) + bg.Get(0, s, y) * m, 1.0) << s << "," << y;
        }
}

TEST_F(UtilOpenCL, MotionAnimationIdentityCopiesAndZeroScaleClears) {
    PlanarFrame in(BGRA32, 32, 18), out(BGRA32, 32, 18);
    in.FillRandom(61);
    MotionAnimationParam p{1, 1, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 32, 18, 0, 0};
    ASSERT_EQ(RunGpu(&in, out, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
        return vp.Motion_Animation(a, b, p);
    }), Ok);
    EXPECT_LE(in.MaxDiff(out), 1);
    // Half size: the centre pixel averages the 2 x 2 block it covers.
    p.scale_x = p.scale_y = 0.5f;
    ASSERT_EQ(RunGpu(&in, out, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
        return vp.Motion_Animation(a, b, p);
    }), Ok);
    EXPECT_EQ(out.Get(0, 3, 0), 0) << "outside the shrunk picture";
    p.scale_x = 0;
    ASSERT_EQ(RunGpu(&in, out, [&](VisualProcess& vp, const EffectFrame& a, EffectFrame& b) {
        return vp.Motion_Animation(a, b, p);
    }), Ok);
    EXPECT_EQ(out.Get(0, 16 * 4 + 3, 9), 0);
}

}  // namespace
}  // namespace orvex
