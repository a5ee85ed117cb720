// The pixel-format conversions on OpenCL textures (PoCL here): the standard matrices' fixed points
// for every colour mode and format, and each conversion run on host frames and on textures and
// compared sample by sample.
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "convert_cases.h"
#include "host/kit/kit.h"
#include "gpu/GpuDispatch.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using namespace ColorSpace;
using orvextest::FillYuv;
using orvextest::LogCapture;
using orvextest::PlanarFrame;
using orvextest::ReprFor;
using orvextest::StandardYuv;

const pl_color_space kSpace = orvextest::Bt709Space();

zrp::ATLUFactory* SharedFactory() {
    static const std::unique_ptr<zrp::ATLUFactory> factory = [] {
        orvexhost::KitOptions options;
        options.opengl = false;
        options.openclOnCpu = true;
        return orvexhost::MakeFactory(options);
    }();
    return factory.get();
}

class ConvertOpenCL : public ::testing::Test {
protected:
    void SetUp() override {
        factory_ = SharedFactory();
        if (!factory_) GTEST_SKIP() << "no OpenCL device (install pocl-opencl-icd)";
        ASSERT_EQ(vp_.SetATLUFactory(factory_), Ok);
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

    // Runs op on the texture twin of `in` into a texture shaped like `out`, read back into out.
    ResultCode OnTextures(const PlanarFrame& in, PlanarFrame& out,
                          const std::function<ResultCode(const EffectFrame&, EffectFrame&)>& op) {
        EffectFrame gin = OnGpu(in, true), gout = OnGpu(out, false);
        if (!gin.texture || !gout.texture) return Failed;
        const ResultCode r = op(gin, gout);
        if (r == Ok) {
            EXPECT_TRUE(orvexhost::DownloadFrame(*gout.texture, out.frame));
        }
        return r;
    }

    // op on host frames into cpu and on textures into gpu; the largest sample difference.
    int Compare(const PlanarFrame& in, PlanarFrame& cpu, PlanarFrame& gpu,
                const std::function<ResultCode(const EffectFrame&, EffectFrame&)>& op, int tolerance,
                std::string* where) {
        EXPECT_EQ(op(in.frame, cpu.frame), Ok) << "host path";
        EXPECT_EQ(OnTextures(in, gpu, op), Ok) << "OpenCL path";
        EXPECT_TRUE(cpu.GuardsIntact() && gpu.GuardsIntact());
        return cpu.MaxDiff(gpu, tolerance, where);
    }

    ResultCode Convert(int mode, const EffectFrame& in, EffectFrame& out, int quality = 0, int depth = 8) {
        EffectFrame none;
        none.pixel_fmt = BGRA32;
        return vp_.Convert(ReprFor(mode, depth), kSpace, in, none, out, quality, 1);
    }

    zrp::ATLUFactory* factory_ = nullptr;
    VisualProcess vp_;
};

TEST_F(ConvertOpenCL, EveryConversionProgramBuilds) {
    for (const char* name :
         {"YV12ToBGRAN", "YV12ToBGRAL", "YV12ToBGRA_High", "YUVAToBGRAN", "YUVAToBGRAL", "NV12ToRGB", "NV12ToRGB_MID",
          "NV12ToRGB_HIGH", "RGBToNV12", "p010_to_rgb_low", "p010_to_rgb_mid", "p010_to_rgb_high",
          "yv12_to_rgb_ushort_low", "yuva_to_rgb_ushort_high", "yuv422_to_rgb_uchar", "yuva422_to_rgb_ushort",
          "rgb_to_yv12", "rgb_to_yv12_10", "rgb_to_yuva", "rgb_to_yuva_10", "rgb_to_nv12", "rgb_to_p010",
          "YV12ToBGRAN_normal", "YV12ToBGRAL_normal", "NV12ToRGB_Normal", "P010_NV12", "YV12ToNV12", "bgr_to_rgb"})
        EXPECT_EQ(EnsureAlgorithmRegistered(name), 0) << name;
}

// --- fixed points -------------------------------------------------------------------------------------------

struct Colour {
    const char* name;
    int r, g, b;
};
const Colour kColours[] = {{"black", 0, 0, 0}, {"white", 255, 255, 255}, {"red", 255, 0, 0}, {"green", 0, 255, 0},
                           {"blue", 0, 0, 255}};

TEST_F(ConvertOpenCL, FixedPointsOfEveryModeAndFormat) {
    // 8-bit formats: black and white exact, primaries within 2 (rounded YUV codes, four-decimal
    // coefficients). 16-bit formats hold the 8-bit codes scaled to 10 bits; their normalisation by
    // 1 / 1023 leaves limited-range white at 254.25, so they are allowed 1 more.
    for (uint32_t fmt : {YV12, NV12, YUVA420, P010, YV12P10, YUVAP10})
        for (int mode = 0; mode < 6; ++mode)
            for (const Colour& c : kColours) {
                const bool sixteen = fmt == P010 || fmt == YV12P10 || fmt == YUVAP10;
                PlanarFrame in(fmt, 6, 4), out(BGRA32, 6, 4);
                const orvextest::Yuv8 yuv = StandardYuv(mode, c.r, c.g, c.b);
                const int scale = fmt == P010 ? 4 << 6 : sixteen ? 4 : 1;
                FillYuv(in, {yuv.y * scale, yuv.cb * scale, yuv.cr * scale});
                if (in.planeCount > 3) {
                    in.Fill([&](int p, int x, int y) { return p == 3 ? in.MaxValue() : in.Get(p, x, y); });
                }
                ASSERT_EQ(OnTextures(in, out, [&](const EffectFrame& i, EffectFrame& o) {
                              return Convert(mode, i, o, 0, sixteen ? 10 : 8);
                          }),
                          Ok);
                const int grey = c.r == c.g && c.g == c.b;
                const int tol = (grey ? 0 : 2) + (sixteen ? 1 : 0);
                const int want[4] = {c.b, c.g, c.r, 255};
                int worst = 0;
                for (int s = 0; s < 24; ++s) worst = std::max(worst, std::abs(out.Get(0, s, 2) - want[s % 4]));
                EXPECT_LE(worst, tol) << "format " << fmt << " mode " << mode << " " << c.name;
            }
}

// Luma below black and above white with extreme chroma: both paths take every code through the
// matrix and clamp only the result, so they agree within 2 in every mode (the kernels round the
// float formula, the host its fixed-point form; 16-bit outputs in 16-bit units).
TEST_F(ConvertOpenCL, ExcursionsAgreeInEveryModeAndFormat) {
    const int lumas[] = {0, 1, 15, 236, 254, 255};
    const int chromas[][2] = {{0, 0}, {0, 255}, {255, 0}, {255, 255}, {128, 128}, {16, 240}};
    for (uint32_t fmt : {YV12, NV12, YUVA420, P010})
        for (uint32_t outFmt : {BGRA32, BGRA64})
            for (int mode = 0; mode < 6; ++mode) {
                // Block column c carries chroma pair c; its 24 luma samples take every value of lumas.
                PlanarFrame in(fmt, 12, 12), cpu(outFmt, 12, 12), gpu(outFmt, 12, 12);
                const int scale = fmt == P010 ? 4 << 6 : 1;
                const bool semi = fmt == NV12 || fmt == P010;
                in.Fill([&](int p, int x, int y) {
                    if (p == 0) return lumas[(2 * y + x % 2) % 6] * scale;
                    if (p == 3) return (x + y) % 2 ? 255 : 0;
                    const int* c = chromas[semi ? x / 2 : x];
                    return (semi ? c[x % 2] : p == 2 ? c[0] : c[1]) * scale;  // YV12: Cr in plane 1
                });
                std::string where;
                const int tol = outFmt == BGRA64 ? 2 * 257 : 2;
                const int d = Compare(
                    in, cpu, gpu,
                    [&](const EffectFrame& i, EffectFrame& o) { return Convert(mode, i, o, 0, fmt == P010 ? 10 : 8); },
                    tol, &where);
                EXPECT_LE(d, tol) << "format " << fmt << " to " << outFmt << " mode " << mode << ": " << where;
            }
}

// --- host path against OpenCL path ------------------------------------------------------------------------

struct PairCase {
    const char* name;
    uint32_t inFmt, outFmt;
    int inW, inH, outW, outH, mode, quality;
    bool smooth;
    int tolerance;
};

std::ostream& operator<<(std::ostream& os, const PairCase& c) { return os << c.name; }

// Same-size YUV -> BGRA: the host decodes with the four-decimal table in fixed point, the kernels
// with the same table in float: 2 codes.
// Encoders: both round the same matrices, the host in 16-bit fixed point: 1 code; at 10 bits the
// host widens 8-bit codes, so 4 codes plus the kernels' (M - 1) luma scale, 8 in all. Scaled
// conversions filter differently on each side (YUV planes first vs kernel sampling) and are
// compared on smooth pictures: 8 codes, as the host's own scaled paths allow.
const PairCase kPairs[] = {
    {"yv12_709l", YV12, BGRA32, 38, 22, 38, 22, 0, 0, false, 2},
    {"yv12_601f", YV12, BGRA32, 38, 22, 38, 22, 3, 0, false, 2},
    {"yv12_2020l_bgra64", YV12, BGRA64, 38, 22, 38, 22, 4, 0, false, 2 * 257},
    {"nv12_709f", NV12, BGRA32, 38, 22, 38, 22, 1, 0, false, 2},
    {"nv12_2020f", NV12, BGRA32, 38, 22, 38, 22, 5, 0, false, 2},
    {"yuva_601l", YUVA420, BGRA32, 38, 22, 38, 22, 2, 0, false, 2},
    {"p010_2020l", P010, BGRA64, 38, 22, 38, 22, 4, 0, false, 3 * 257},
    {"yv12_down_bilinear", YV12, BGRA32, 64, 48, 40, 30, 0, 1, true, 8},
    {"yv12_down_high", YV12, BGRA32, 96, 48, 30, 15, 0, 2, true, 8},
    {"yv12_up_nearest", YV12, BGRA32, 24, 16, 48, 32, 0, 0, true, 8},
    {"nv12_down_mid", NV12, BGRA32, 64, 48, 40, 30, 1, 1, true, 8},
    {"nv12_up_bilinear", NV12, BGRA32, 24, 16, 48, 36, 1, 1, true, 8},
    {"yuva_down", YUVA420, BGRA32, 64, 48, 40, 30, 2, 1, true, 8},
    {"p010_down", P010, BGRA32, 64, 48, 40, 30, 4, 1, true, 8},
    {"bgra_to_yv12", BGRA32, YV12, 38, 22, 38, 22, 0, 0, false, 1},
    {"bgra_to_yv12_601f", BGRA32, YV12, 38, 22, 38, 22, 3, 0, false, 1},
    {"bgra_to_yuva", BGRA32, YUVA420, 38, 22, 38, 22, 5, 0, false, 1},
    {"bgra64_to_yv12", BGRA64, YV12, 38, 22, 38, 22, 2, 0, false, 1},
    {"bgra_to_yv12p10", BGRA32, YV12P10, 38, 22, 38, 22, 0, 0, false, 8},
    {"bgra_to_yuvap10", BGRA32, YUVAP10, 38, 22, 38, 22, 1, 0, false, 8},
    {"bgra_to_p010", BGRA32, P010, 38, 22, 38, 22, 4, 0, true, 8 << 6},
};

class ConvertPairs : public ConvertOpenCL, public ::testing::WithParamInterface<PairCase> {};

TEST_P(ConvertPairs, HostAndOpenCLAgree) {
    const PairCase& c = GetParam();
    PlanarFrame in(c.inFmt, c.inW, c.inH), cpu(c.outFmt, c.outW, c.outH), gpu(c.outFmt, c.outW, c.outH);
    const bool sixteen = c.inFmt == P010 || c.outFmt == P010 || c.outFmt == YV12P10 || c.outFmt == YUVAP10;
    if (c.inFmt == BGRA32 || c.inFmt == BGRA64) {
        if (c.smooth) orvextest::FillSmoothBGRA(in);
        else in.FillRandom(17);
    } else {
        // A YUV picture made by the host encoder from an RGB one, so that every sample is a colour.
        PlanarFrame rgb(BGRA32, c.inW, c.inH), yv12(YV12, c.inW, c.inH);
        if (c.smooth) orvextest::FillSmoothBGRA(rgb);
        else rgb.FillRandom(17);
        if (c.inFmt == P010) {
            PlanarFrame wide(BGRA64, c.inW, c.inH);
            if (c.smooth) orvextest::FillSmoothBGRA(wide);
            else wide.FillRandom(17);
            ASSERT_EQ(Convert(4, wide.frame, in.frame, 0, 10), Ok);
        } else {
            ASSERT_EQ(Convert(c.mode, rgb.frame, c.inFmt == NV12 ? yv12.frame : in.frame), Ok);
            if (c.inFmt == NV12) {
                ASSERT_EQ(vp_.YV12ToNV12(yv12.frame, in.frame), Ok);
            }
            if (c.inFmt == YUVA420) {
                in.Fill([&](int p, int x, int y) { return p == 3 ? std::min(255, 2 * (x + y)) : in.Get(p, x, y); });
            }
        }
    }
    std::string where;
    const int d = Compare(
        in, cpu, gpu,
        [&](const EffectFrame& i, EffectFrame& o) { return Convert(c.mode, i, o, c.quality, sixteen ? 10 : 8); },
        c.tolerance, &where);
    EXPECT_LE(d, c.tolerance) << where;
}

INSTANTIATE_TEST_SUITE_P(Conversions, ConvertPairs, ::testing::ValuesIn(kPairs),
                         [](const ::testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });

TEST_F(ConvertOpenCL, GenericMatrixAgrees) {
    // A system without a fixed mode (BT.709, unknown levels) mapped from BT.2020 primaries.
    const pl_color_repr repr{PL_COLOR_SYSTEM_BT_709, PL_COLOR_LEVELS_UNKNOWN, PL_ALPHA_INDEPENDENT, {8, 8, 0}};
    pl_color_space wide = kSpace;
    wide.primaries = PL_COLOR_PRIM_BT_2020;
    for (uint32_t fmt : {YV12, NV12}) {
        PlanarFrame in(fmt, 30, 20), cpu(BGRA32, 30, 20), gpu(BGRA32, 30, 20);
        in.FillRandom(9);
        std::string where;
        const int d = Compare(
            in, cpu, gpu,
            [&](const EffectFrame& i, EffectFrame& o) {
                EffectFrame none;
                return vp_.Convert(repr, wide, i, none, o, 0, 1);
            },
            1, &where);
        EXPECT_LE(d, 1) << fmt << " " << where;  // the same float matrices; rounding only
    }
}

TEST_F(ConvertOpenCL, QualityThreeGoesThroughTheIntermediateTexture) {
    PlanarFrame in(YV12, 64, 32), out(BGRA32, 16, 8), full(BGRA32, 64, 32), direct(BGRA32, 16, 8);
    in.FillRandom(4);
    EffectFrame gin = OnGpu(in, true), gout = OnGpu(out, false), gmid = OnGpu(full, false), gdirect = OnGpu(direct, false);
    ASSERT_EQ(vp_.Convert(ReprFor(0), kSpace, gin, gmid, gout, 0, 3, 1), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*gmid.texture, full.frame));
    ASSERT_TRUE(orvexhost::DownloadFrame(*gout.texture, out.frame));
    // The intermediate holds the whole picture converted at its own size (nearest kernel).
    PlanarFrame ref(BGRA32, 64, 32);
    ASSERT_EQ(OnTextures(in, ref, [&](const EffectFrame& i, EffectFrame& o) { return Convert(0, i, o, 0); }), Ok);
    EXPECT_EQ(full.MaxDiff(ref), 0);
    // Without storage in the intermediate frame: one kernel, the box ("High") at a quarter size.
    EffectFrame empty;
    empty.pixel_fmt = BGRA32;
    ASSERT_EQ(vp_.Convert(ReprFor(0), kSpace, gin, empty, gdirect, 0, 3, 1), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*gdirect.texture, direct.frame));
    EXPECT_GT(direct.MaxDiff(out), 0) << "a different path";
}

TEST_F(ConvertOpenCL, RepackingAgrees) {
    PlanarFrame yv12(YV12, 14, 10), cpu(NV12, 14, 10), gpu(NV12, 14, 10);
    yv12.FillRandom(6);
    std::string where;
    EXPECT_EQ(Compare(yv12, cpu, gpu, [&](const EffectFrame& i, EffectFrame& o) { return vp_.YV12ToNV12(i, o); }, 0,
                      &where),
              0)
        << where;
    PlanarFrame bgra(BGRA32, 14, 10), swapCpu(BGRA32, 14, 10), swapGpu(BGRA32, 14, 10);
    bgra.FillRandom(7);
    EXPECT_EQ(Compare(bgra, swapCpu, swapGpu, [&](const EffectFrame& i, EffectFrame& o) { return vp_.BGRToRGB(i, o); },
                      0, &where),
              0)
        << where;
    // The kernel's NV12 agrees with YV12 encoded on the host and repacked.
    PlanarFrame src(BGRA32, 14, 10), hostYv12(YV12, 14, 10), hostNv12(NV12, 14, 10), gpuNv12(NV12, 14, 10);
    src.FillRandom(8);
    ASSERT_EQ(Convert(1, src.frame, hostYv12.frame), Ok);
    ASSERT_EQ(vp_.YV12ToNV12(hostYv12.frame, hostNv12.frame), Ok);
    ASSERT_EQ(OnTextures(src, gpuNv12, [&](const EffectFrame& i, EffectFrame& o) { return Convert(1, i, o); }), Ok);
    EXPECT_LE(hostNv12.MaxDiff(gpuNv12, 1, &where), 1) << where;
}

TEST_F(ConvertOpenCL, ConvertTo8BitMapsTopCodesTo255) {
    PlanarFrame p010(P010, 8, 4), nv12(NV12, 8, 4);
    p010.Fill([](int plane, int x, int) { return plane == 0 ? (x == 0 ? 1023 : 4 * x) << 6 : 512 << 6; });
    ASSERT_EQ(OnTextures(p010, nv12, [&](const EffectFrame& i, EffectFrame& o) { return vp_.ConvertTo8Bit(i, o, 10); }),
              Ok);
    EXPECT_EQ(nv12.Get(0, 0, 0), 255);
    EXPECT_EQ(nv12.Get(0, 5, 1), 5);
    EXPECT_EQ(nv12.Get(1, 1, 1), 128);
}

TEST_F(ConvertOpenCL, FourTwoTwoThroughTheBoundEntries) {
    // 4:2:2 has chroma on every row; the same colour everywhere must decode to that colour.
    for (uint32_t fmt : {YUV422, YUV422_16}) {
        PlanarFrame in(fmt, 10, 6), out(BGRA32, 10, 6);
        const orvextest::Yuv8 red = StandardYuv(0, 255, 0, 0);
        const int s = fmt == YUV422 ? 1 : 4;
        FillYuv(in, {red.y * s, red.cb * s, red.cr * s});
        ASSERT_EQ(OnTextures(in, out, [&](const EffectFrame& i, EffectFrame& o) {
                      return Convert(0, i, o, 0, fmt == YUV422 ? 8 : 10);
                  }),
                  Ok);
        EXPECT_NEAR(out.Get(0, 4 * 9 + 2, 5), 255, 3);
        EXPECT_NEAR(out.Get(0, 4 * 9 + 1, 5), 0, 3);
    }
}

TEST_F(ConvertOpenCL, MismatchedTexturesAreRefused) {
    LogCapture cap;
    PlanarFrame nv12(NV12, 8, 4), out(BGRA32, 8, 4);
    EffectFrame g = OnGpu(nv12, true), o = OnGpu(out, false);
    g.pixel_fmt = YV12;  // the record says YV12, the texture holds NV12 planes
    EXPECT_EQ(Convert(0, g, o), InvalidArgument);
    EXPECT_EQ(vp_.YV12ToNV12(g, o), WrongFormat);
}

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

// --- the routines that reproduce the matrix kernels on the host ------------------------------------------

struct MatrixCase {
    const char* name;
    uint32_t inFmt, outFmt;
    int inW, inH, outW, outH, mode, quality;
};

std::ostream& operator<<(std::ostream& os, const MatrixCase& c) { return os << c.name; }

// The host computes the kernels' float arithmetic with the matrix folded into its constants, so the
// two round apart only where a value sits within a hair of half a code: 1 code of 255, 2 of 65535
// for 16-bit BGRA, and 1 code of 1023 (64 in the word) for P010; NV12 from 8-bit BGRA, the fixed-point
// form of the matrix, within 1 code as well. Random samples, including codes
// outside the video range, so that the clamps and every chroma position are exercised.
const MatrixCase kMatrixCases[] = {
    {"yv12p10_709l", YV12P10, BGRA32, 37, 23, 37, 23, 0, 0},
    {"yv12p10_601f_bgra64", YV12P10, BGRA64, 37, 23, 37, 23, 3, 0},
    {"yv12p10_down_nearest", YV12P10, BGRA32, 45, 27, 22, 13, 4, 0},
    {"yv12p10_down_mid", YV12P10, BGRA32, 45, 27, 22, 13, 1, 1},
    {"yv12p10_down_high", YV12P10, BGRA32, 45, 27, 14, 9, 2, 2},
    {"yv12p10_up_mid", YV12P10, BGRA64, 19, 11, 38, 23, 5, 1},
    {"yuvap10_2020l", YUVAP10, BGRA32, 37, 23, 37, 23, 4, 0},
    {"yuvap10_709f_bgra64", YUVAP10, BGRA64, 37, 23, 37, 23, 1, 0},
    {"yuvap10_down_high", YUVAP10, BGRA32, 45, 27, 14, 9, 0, 2},
    {"p010_709l", P010, BGRA32, 37, 23, 37, 23, 0, 0},
    {"p010_601f_bgra64", P010, BGRA64, 37, 23, 37, 23, 3, 0},
    {"p010_down_mid", P010, BGRA32, 45, 27, 22, 13, 4, 1},
    {"yuv422_709l", YUV422, BGRA32, 37, 23, 37, 23, 0, 0},
    {"yuv422_up_nearest", YUV422, BGRA32, 19, 11, 38, 23, 2, 1},
    {"yuv422_16_2020f", YUV422_16, BGRA64, 37, 23, 37, 23, 5, 0},
    {"yuva422_601l", YUVA422, BGRA32, 37, 23, 37, 23, 2, 0},
    {"yuva422_16_709f", YUVA422_16, BGRA32, 37, 23, 37, 23, 1, 0},
    {"yuva422_16_bgra64", YUVA422_16, BGRA64, 37, 23, 37, 23, 4, 0},
    {"bgra_nv12_709l", BGRA32, NV12, 37, 23, 37, 23, 0, 0},
    {"bgra_nv12_601f", BGRA32, NV12, 37, 23, 37, 23, 3, 0},
    {"bgra_nv12_2020l", BGRA32, NV12, 37, 23, 37, 23, 4, 0},
    {"bgra64_nv12_709f", BGRA64, NV12, 37, 23, 37, 23, 1, 0},
    {"bgra_p010_709l", BGRA32, P010, 37, 23, 37, 23, 0, 0},
    {"bgra64_p010_601l", BGRA64, P010, 37, 23, 37, 23, 2, 0},
    {"bgra64_p010_2020f", BGRA64, P010, 37, 23, 37, 23, 5, 0},
};

class MatrixPairs : public ConvertOpenCL, public ::testing::WithParamInterface<MatrixCase> {};

TEST_P(MatrixPairs, HostAndOpenCLAgree) {
    const MatrixCase& c = GetParam();
    PlanarFrame in(c.inFmt, c.inW, c.inH), cpu(c.outFmt, c.outW, c.outH), gpu(c.outFmt, c.outW, c.outH);
    in.FillRandom(29, in.frame.pixel_fmt == P010 || in.bytes == 1 || c.inFmt == BGRA64 ? 0 : 1 << 11);
    const bool tenBits = in.bytes == 2 || c.outFmt == P010;
    const int tolerance = c.outFmt == P010 ? 64 : c.outFmt == BGRA64 ? 2 : 1;
    std::string where;
    const int d = Compare(
        in, cpu, gpu,
        [&](const EffectFrame& i, EffectFrame& o) { return Convert(c.mode, i, o, c.quality, tenBits ? 10 : 8); },
        tolerance, &where);
    EXPECT_LE(d, tolerance) << where;
}

INSTANTIATE_TEST_SUITE_P(Conversions, MatrixPairs, ::testing::ValuesIn(kMatrixCases),
                         [](const ::testing::TestParamInfo<MatrixCase>& info) { return std::string(info.param.name); });

TEST_F(ConvertOpenCL, ConvertTo8BitFromP010AgreesOnTheHost) {
    PlanarFrame p010(P010, 37, 23), cpu(NV12, 37, 23), gpu(NV12, 37, 23);
    p010.FillRandom(12);
    std::string where;
    EXPECT_EQ(Compare(p010, cpu, gpu, [&](const EffectFrame& i, EffectFrame& o) { return vp_.ConvertTo8Bit(i, o, 10); },
                      0, &where),
              0)
        << where;
}

TEST_F(ConvertOpenCL, YuvaResizeScalesAlphaAsLuma) {
    // The YUVA kernel against the YV12 kernel on the same Y, V, U planes, and on alpha as luma.
    for (int quality : {0, 1}) {
        PlanarFrame yuva(YUVA420, 37, 23), yuvaOut(YUVA420, 22, 30);
        yuva.FillRandom(static_cast<uint32_t>(40 + quality));
        PlanarFrame yv12(YV12, 37, 23), yv12Out(YV12, 22, 30), alpha(YV12, 37, 23), alphaOut(YV12, 22, 30);
        yv12.Fill([&](int p, int x, int y) { return yuva.Get(p, x, y); });
        alpha.Fill([&](int p, int x, int y) { return p == 0 ? yuva.Get(3, x, y) : 128; });
        auto resize = [&](const EffectFrame& i, EffectFrame& o) { return vp_.Resize(i, o, 0, quality); };
        ASSERT_EQ(OnTextures(yuva, yuvaOut, resize), Ok);
        ASSERT_EQ(OnTextures(yv12, yv12Out, resize), Ok);
        ASSERT_EQ(OnTextures(alpha, alphaOut, resize), Ok);
        EXPECT_EQ(yuvaOut.MaxDiff(yv12Out), 0) << "Y, V, U planes, quality " << quality;
        int worst = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 22; ++x) worst = std::max(worst, std::abs(yuvaOut.Get(3, x, y) - alphaOut.Get(0, x, y)));
        EXPECT_EQ(worst, 0) << "alpha plane, quality " << quality;
    }
}

}  // namespace
}  // namespace orvex
