// Frame utilities, white balance, chroma-key calibration, colour statistics and the CPU HDR and
// colour-space operations on host frames.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>
#include <lcms2.h>

#include "imagecpu/BlendTables.h"
#include "planar_frames.h"
#include "support/log_capture.h"
#include "visual/HdrCurves.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::LogCapture;
using orvextest::PlanarFrame;

// --- Deinterlace ----------------------------------------------------------------------------------

TEST(Deinterlace, EvenRowsZeroOddRowsTwoHundredGiveOneHundred) {
    for (uint32_t fmt : {YV12, NV12, BGRA32, YV12P10}) {
        PlanarFrame in(fmt, 8, 6), out(fmt, 8, 6);
        in.Fill([](int, int, int y) { return y % 2 ? 200 : 0; });
        VisualProcess vp;
        ASSERT_EQ(vp.Deinterlace(in.frame, out.frame, 0), Ok) << fmt;
        for (int p = 0; p < out.planeCount; ++p)
            for (int y = 0; y < out.rows[p]; ++y)
                for (int x = 0; x < out.samples[p]; ++x)
                    ASSERT_EQ(out.Get(p, x, y), y == 0 ? 0 : 100) << fmt << " plane " << p << " " << x << "," << y;
        EXPECT_TRUE(out.GuardsIntact());
        // In place gives the same.
        ASSERT_EQ(vp.Deinterlace(in.frame, in.frame, 0), Ok);
        EXPECT_EQ(in.MaxDiff(out), 0) << fmt;
    }
}

TEST(Deinterlace, RefusesMismatchedFormatsAndSizes) {
    PlanarFrame a(YV12, 8, 6), b(NV12, 8, 6), c(YV12, 8, 4);
    VisualProcess vp;
    LogCapture cap;
    EXPECT_EQ(vp.Deinterlace(a.frame, b.frame, 0), WrongFormat);
    EXPECT_TRUE(cap.Has("input format is not equal output format !!", "orvex:Deinterlace", 6)) << cap.Dump();
    EXPECT_EQ(vp.Deinterlace(a.frame, c.frame, 0), InvalidArgument);
    EXPECT_TRUE(c.GuardsIntact());
}

// --- FrameInterpolation ------------------------------------------------------------------------------

TEST(FrameInterpolation, EndFactorsReturnTheirFramesAndRowsStopAtTheWidth) {
    // Five pixels a row and no padding: a pass rounded up to four pixels would run into the guard.
    PlanarFrame f0(BGRA32, 5, 3, false, 0, 0), f1(BGRA32, 5, 3, false, 0, 0), out(BGRA32, 5, 3, false, 0, 0);
    f0.FillRandom(1);
    f1.FillRandom(2);
    VisualProcess vp;
    ASSERT_EQ(vp.FrameInterpolation(f0.frame, f1.frame, out.frame, 0.0f), Ok);
    EXPECT_EQ(out.MaxDiff(f0), 0);
    ASSERT_EQ(vp.FrameInterpolation(f0.frame, f1.frame, out.frame, 1.0f), Ok);
    EXPECT_EQ(out.MaxDiff(f1), 0);
    ASSERT_EQ(vp.FrameInterpolation(f0.frame, f1.frame, out.frame, 0.25f), Ok);
    for (int x = 0; x < 20; ++x) {
        const double v = f1.Get(0, x, 1) * 0.25 + f0.Get(0, x, 1) * 0.75;
        EXPECT_NEAR(out.Get(0, x, 1), v, 0.5 + 1e-4) << x;
    }
    EXPECT_TRUE(out.GuardsIntact());
    PlanarFrame y0(YUVA420, 6, 4), y1(YUVA420, 6, 4), yo(YUVA420, 6, 4);
    y0.FillRandom(3);
    y1.FillRandom(4);
    ASSERT_EQ(vp.FrameInterpolation(y0.frame, y1.frame, yo.frame, 1.0f), Ok);
    EXPECT_EQ(yo.MaxDiff(y1), 0);
    LogCapture cap;
    EXPECT_EQ(vp.FrameInterpolation(f0.frame, y1.frame, yo.frame, 0.5f), WrongFormat);
}

// --- Premultiply -----------------------------------------------------------------------------------

TEST(Premultiply, YuvaAlphaZeroGivesRangeBlackAndBgraUsesTheScalingTable) {
    for (const bool fullRange : {false, true}) {
        PlanarFrame in(YUVA420, 4, 4), out(YUVA420, 4, 4);
        in.Fill([](int p, int, int) { return p == 3 ? 0 : 200; });
        VisualProcess vp;
        ASSERT_EQ(vp.Premultiply(in.frame, out.frame, 1, fullRange), Ok);
        const int yMin = fullRange ? 0 : 16;
        EXPECT_EQ(out.Get(0, 1, 1), yMin);
        EXPECT_EQ(out.Get(1, 0, 0), 128);
        EXPECT_EQ(out.Get(2, 1, 1), 128);
        EXPECT_EQ(out.Get(3, 2, 2), 0);
        ASSERT_EQ(vp.Premultiply(in.frame, out.frame, 0, fullRange), Ok);
        EXPECT_EQ(out.Get(0, 1, 1), 200);
        EXPECT_EQ(out.Get(3, 1, 1), 255) << "any other type makes alpha opaque";
    }
    PlanarFrame in(BGRA32, 3, 2), out(BGRA32, 3, 2);
    in.FillRandom(5);
    VisualProcess vp;
    ASSERT_EQ(vp.Premultiply(in.frame, out.frame, 1, false), Ok);
    for (int x = 0; x < 12; ++x) {
        const int a = in.Get(0, x / 4 * 4 + 3, 1);
        EXPECT_EQ(out.Get(0, x, 1), x % 4 == 3 ? a : Mul(in.Get(0, x, 1), a)) << x;
    }
    PlanarFrame yv12(YV12, 4, 4);
    EXPECT_EQ(vp.Premultiply(yv12.frame, yv12.frame, 1, false), WrongFormat) << "no alpha plane";
}

// --- FillFrame --------------------------------------------------------------------------------------

TEST(FillFrame, ColourZeroIsTheBlackOfTheRange) {
    struct Case {
        uint32_t fmt;
        bool fullRange;
        uint32_t colour;
        std::vector<int> expect;  // per plane (NV12 chroma: U then V alternate)
    } cases[] = {
        {YV12, false, 0, {16, 128, 128}},
        {YV12, true, 0, {0, 128, 128}},
        {YUVA420, false, 0, {16, 128, 128, 255}},
        {YV12, false, 0x00302010, {0x10, 0x30, 0x20}},  // Y 0x10, U 0x20, V 0x30 -> planes Y, V, U
    };
    VisualProcess vp;
    for (const Case& c : cases) {
        PlanarFrame f(c.fmt, 6, 4);
        ASSERT_EQ(vp.FillFrame(f.frame, c.fullRange, c.colour), Ok) << c.fmt;
        for (size_t p = 0; p < c.expect.size(); ++p) EXPECT_EQ(f.Get(static_cast<int>(p), 1, 1), c.expect[p]) << p;
        EXPECT_TRUE(f.GuardsIntact());
    }
    PlanarFrame nv12(NV12, 6, 4);
    ASSERT_EQ(vp.FillFrame(nv12.frame, false, 0), Ok);
    EXPECT_EQ(nv12.Get(0, 5, 3), 16);
    EXPECT_EQ(nv12.Get(1, 4, 1), 128);
    PlanarFrame bgra(BGRA32, 2, 2);
    ASSERT_EQ(vp.FillFrame(bgra.frame, false, 0x80402010), Ok);
    EXPECT_EQ(bgra.Get(0, 4, 1), 0x10);
    EXPECT_EQ(bgra.Get(0, 7, 1), 0x80);
}

// --- channelControl and the mask views -----------------------------------------------------------------

TEST(ChannelControl, AlphaFromTheBackgroundChannel) {
    PlanarFrame bg(BGRA32, 4, 4), ov(BGRA32, 4, 4), out(BGRA32, 4, 4);
    bg.FillRandom(6);
    ov.FillRandom(7);
    VisualProcess vp;
    for (int channel : {0, 1, 2, 3, 7}) {
        ASSERT_EQ(vp.channelControl(bg.frame, ov.frame, out.frame, channel), Ok);
        static const int kByte[4] = {2, 1, 0, 3};
        for (int x = 0; x < 4; ++x) {
            const int oa = ov.Get(0, x * 4 + 3, 2);
            const int expect = channel > 3 ? oa : Mul(bg.Get(0, x * 4 + kByte[channel], 2), oa);
            EXPECT_NEAR(out.Get(0, x * 4 + 3, 2), expect, 1) << "channel " << channel;
            EXPECT_EQ(out.Get(0, x * 4 + 1, 2), ov.Get(0, x * 4 + 1, 2));
        }
    }
}

TEST(MaskViews, TransparentMaskShowsTheCheckerboard) {
    PlanarFrame src(BGRA32, 120, 120), mask(BGRA32, 120, 120), out(BGRA32, 120, 120);
    src.FillRandom(8);
    mask.Fill([](int, int, int) { return 0; });
    VisualProcess vp;
    ASSERT_EQ(vp.viewmaskassquare(src.frame, mask.frame, out.frame, 1), Ok);
    // Cells of 120 / 60 = 2 pixels: light (255) at cell (0, 0), dark (204) at (1, 0) and (0, 1).
    EXPECT_EQ(out.Get(0, 0, 0), 255);
    EXPECT_EQ(out.Get(0, 1 * 4 + 2, 1), 255);
    EXPECT_EQ(out.Get(0, 2 * 4, 0), 204);
    EXPECT_EQ(out.Get(0, 0, 2), 204);
    EXPECT_EQ(out.Get(0, 2 * 4 + 1, 2), 255);
    EXPECT_EQ(out.Get(0, 3, 0), 255) << "opaque";
}

TEST(MaskViews, OpaqueMaskViewsAndBackendCodes) {
    PlanarFrame src(BGRA32, 8, 8), mask(BGRA32, 8, 8), out(BGRA32, 8, 8);
    src.FillRandom(9);
    mask.Fill([](int, int x, int) { return x % 4 == 3 ? 255 : 17; });
    VisualProcess vp;
    ASSERT_EQ(vp.viewmaskasresult(src.frame, mask.frame, out.frame, 1), Ok);
    EXPECT_EQ(out.MaxDiff(src), 0);
    ASSERT_EQ(vp.viewmaskasalpha(src.frame, mask.frame, out.frame, 1), Ok);
    EXPECT_EQ(out.Get(0, 5, 5), 255);
    // Colour 0x20406080 mixes the mask colour in at 128/255 over the source.
    ASSERT_EQ(vp.viewmaskascolormask(src.frame, mask.frame, 0x204060FFu, out.frame, 1), Ok);
    EXPECT_EQ(out.Get(0, 4, 3), 0x60);  // blue
    EXPECT_EQ(out.Get(0, 6, 3), 0x20);  // red
    EXPECT_EQ(out.Get(0, 7, 3), 255);
    LogCapture cap;
    EXPECT_EQ(vp.viewmaskasalpha(src.frame, mask.frame, out.frame, 0), WrongFormat);
    EXPECT_EQ(vp.viewmaskasalpha(src.frame, mask.frame, out.frame, 2), InvalidArgument) << "OpenCL needs textures";
}

// --- colour statistics, white balance, chroma key -----------------------------------------------------

TEST(ColorReference, BlackReferenceReadsAsZerosAndGreyHasNoSpread) {
    PlanarFrame black(BGRA32, 6, 6);
    black.Fill([](int, int x, int) { return x % 4 == 3 ? 255 : 0; });
    VisualProcess vp;
    double stats[6] = {1, 1, 1, 1, 1, 1};
    ASSERT_EQ(vp.AnalyzeColorReference(black.frame), Ok);
    ASSERT_EQ(vp.GetColorReferenceStats(stats), Ok);
    for (double s : stats) EXPECT_EQ(s, 0.0);
    PlanarFrame grey(BGRA32, 6, 6);
    grey.Fill([](int, int, int) { return 128; });
    ASSERT_EQ(vp.AnalyzeColorReference(grey.frame), Ok);
    ASSERT_EQ(vp.GetColorReferenceStats(stats), Ok);
    // l = (log L + log M + log S) / sqrt(3) with L, M, S within 0.3 % of 128/255.
    EXPECT_NEAR(stats[0], std::sqrt(3.0) * std::log(128 / 255.0), 0.01);
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(stats[i], 0.0, 1e-6);
    EXPECT_EQ(vp.GetColorReferenceStats(nullptr), Failed);
}

TEST(WhiteBalanceOps, GreyPickAndColourAreNeutral) {
    std::vector<uint8_t> pic(16 * 8 * 4);
    for (size_t i = 0; i < pic.size(); ++i) pic[i] = static_cast<uint8_t>(i * 13);
    for (int c = 0; c < 4; ++c) pic[(3 * 16 + 5) * 4 + c] = 77;
    VisualProcess vp;
    float t = 9, n = 9;
    ASSERT_EQ(vp.EstimateWhiteBalance(pic.data(), 16, 8, &t, &n, 5, 3), Ok);
    EXPECT_FLOAT_EQ(t, 0);
    EXPECT_FLOAT_EQ(n, 0);
    ASSERT_EQ(vp.WhiteBalanceFromColor(pic.data(), 16, 8, 0x404040, &t, &n), Ok);
    EXPECT_FLOAT_EQ(t, 0);
    // A zero green component: an infinite green gain, clamped.
    ASSERT_EQ(vp.WhiteBalanceFromColor(pic.data(), 16, 8, 0x400040, &t, &n), Ok);
    EXPECT_FLOAT_EQ(n, -500);
    ASSERT_EQ(vp.EstimateWhiteBalance(pic.data(), 16, 8, &t, &n, -1, 0), Ok) << "whole picture";
    EXPECT_TRUE(std::isfinite(t) && std::isfinite(n));
    EXPECT_EQ(vp.EstimateWhiteBalance(nullptr, 16, 8, &t, &n, -1, 0), InvalidArgument);
}

TEST(ChromaKeyOps, GreenIsKnownAndOthersAreCalibrated) {
    VisualProcess vp;
    int32_t a = 0, b = 0;
    ASSERT_EQ(vp.CalibrateChromaKey(0x00FF00, &a, &b), Ok);
    EXPECT_EQ(a, 51);
    EXPECT_EQ(b, 20);
    ASSERT_EQ(vp.CalibrateChromaKey(0x200000, &a, &b), Ok);
    EXPECT_EQ(a, 55);
    EXPECT_EQ(b, 16);
    EXPECT_EQ(vp.CalibrateChromaKey(0x200000, nullptr, &b), InvalidArgument);
}

// --- transfer curves (the HDR kernels' helpers, compiled as C++) ----------------------------------------

TEST(HdrCurves, PublishedReferenceValues) {
    using namespace hdr;
    // ST 2084: 100 cd/m2 encodes to 0.508078421517399; code 1 is 10000 cd/m2.
    EXPECT_NEAR(PQ_INV_EOTF(100.0f / 10000.0f), 0.508078421517399, 2e-6);
    EXPECT_NEAR(PQ_EOTF(1.0f) * 10000.0f, 10000.0, 0.05);
    EXPECT_NEAR(PQ_EOTF(0.508078421517399f) * 10000.0f, 100.0, 0.01);
    // BT.2100 HLG: scene light 1/12 is signal 0.5, 1 is 1.
    EXPECT_NEAR(HLG_OETF(1.0f / 12.0f), 0.5, 1e-6);
    EXPECT_NEAR(HLG_OETF(1.0f), 1.0, 1e-6);
    EXPECT_NEAR(HLG_INV_OETF(0.75f), (std::exp((0.75 - 0.55991073) / 0.17883277) + 0.28466892) / 12.0, 1e-6);
}

TEST(HdrCurves, HlgHalfToPq) {
    using namespace hdr;
    // HLG 0.5 grey: scene 1/12, 1000 cd/m2 display light 1000 (1/12)^1.2, then PQ of that.
    const double nits = 1000.0 * std::pow(1.0 / 12.0, 1.2);
    const double y = std::pow(nits / 10000.0, 2610.0 / 16384.0);
    const double expect = std::pow((0.8359375 + 18.8515625 * y) / (1 + 18.6875 * y), 78.84375);
    float r = HLG_INV_OETF(0.5f), g = r, b = r;
    HLG_OOTF(&r, &g, &b);
    EXPECT_NEAR(PQ_INV_EOTF(fmin(r * 0.1f, 1.0f)), expect, 1e-5);
}

// --- HDR2SDR on the CPU, ChangeColorSpace, ICC --------------------------------------------------------

namespace fs = std::filesystem;

// A resource tree holding copies of the shipped cubes.
std::string CubeTree() {
    const fs::path root = fs::path(::testing::TempDir()) / "orvex-cubes";
    for (const char* rel : {"resources/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube",
                            "resources/tvx_effect/nle_default/HLGCube/Data/HDR_HLG.cube"}) {
        fs::create_directories((root / rel).parent_path());
        fs::copy_file(fs::path(ORVEX_SOURCE_DIR) / rel, root / rel, fs::copy_options::overwrite_existing);
    }
    return root.string();
}

TEST(HDR2SDRCpu, CubeLoadsOnceAndReloadsOnModeChange) {
    const std::string root = CubeTree();
    PlanarFrame in(BGRA32, 16, 4), out(BGRA32, 16, 4), again(BGRA32, 16, 4);
    in.FillRandom(11);
    VisualProcess vp;
    LogCapture cap;
    EXPECT_EQ(vp.HDR2SDR(in.frame, out.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Failed) << "no resource path";
    EXPECT_EQ(out.Get(0, 0, 0), PlanarFrame::kGuardByte) << "output untouched";
    ASSERT_EQ(vp.SetResourcePath(root.c_str()), Ok);
    ASSERT_EQ(vp.HDR2SDR(in.frame, out.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Ok);
    // Spoil the PQ file: the same mode keeps the loaded table, a mode change reloads.
    const std::string pq = root + "/resources/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube";
    std::ofstream(pq, std::ios::trunc) << "LUT_3D_SIZE 1\n";
    ASSERT_EQ(vp.HDR2SDR(in.frame, again.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Ok);
    EXPECT_EQ(again.MaxDiff(out), 0);
    ASSERT_EQ(vp.HDR2SDR(in.frame, again.frame, 0, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Ok);
    EXPECT_NE(again.MaxDiff(out), 0) << "HLG differs from PQ";
    EXPECT_EQ(vp.HDR2SDR(in.frame, again.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Failed) << "reloaded the spoilt PQ cube";
    // 16-bit frames skip the cube: the kernel's curves (a spoilt cube does not matter to them).
    PlanarFrame wide(BGRA64, 4, 4);
    wide.FillRandom(3);
    EXPECT_EQ(vp.HDR2SDR(wide.frame, wide.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Ok);
    PlanarFrame yuv(YV12, 4, 4);
    EXPECT_EQ(vp.HDR2SDR(yuv.frame, out.frame, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709),
              Failed);
    EXPECT_TRUE(cap.Has("input format is not rgba!!", "orvex::HDR2SDR", 6)) << cap.Dump();
}

TEST(HDR2SDRCpu, CubeFollowsTheToneMapper) {
    // The shipped cubes hold the tone mapper at 33 points an axis; 16-bit output is the tone mapper
    // itself, in double.
    PlanarFrame in(BGRA32, 256, 8), cube(BGRA32, 256, 8), exact(BGRA64, 256, 8);
    FillHdrRamps(in, 21);
    VisualProcess vp;
    ASSERT_EQ(vp.SetResourcePath(ORVEX_SOURCE_DIR), Ok);
    for (int pq : {1, 0}) {
        const char* name = pq ? "PQ" : "HLG";
        for (PlanarFrame* out : {&cube, &exact})
            ASSERT_EQ(vp.HDR2SDR(in.frame, out->frame, pq, ColorSpace::PL_COLOR_PRIM_BT_2020,
                                 ColorSpace::PL_COLOR_PRIM_BT_709), Ok) << name;
        int rampMax = 0;
        double sq = 0;
        int n = 0;
        for (int y = 0; y < 8; ++y)
            for (int s = 0; s < 256 * 4; ++s) {
                const int d = std::abs(cube.Get(0, s, y) - (exact.Get(0, s, y) + 128) / 257);
                if (y < 4) rampMax = std::max(rampMax, d);
                else sq += d * d, ++n;
            }
        // Between its points the cube interpolates the curves: on the ramps (inside the gamut)
        // within 3 codes. Random BT.2020 colours include ones outside BT.709 whose channels the
        // tone mapper clips to 0 where the cube's neighbours are positive: single codes differ by
        // up to ~40 there, the RMS stays below 2 (measured: ramps 2 PQ, 3 HLG; RMS 0.8 PQ, 0.5 HLG).
        EXPECT_LE(rampMax, 3) << name;
        EXPECT_LE(std::sqrt(sq / n), 2.0) << name;
    }
}

TEST(ChangeColorSpaceCpu, SamePrimariesKeepRgbAndBt709RedLandsOnBt2020) {
    VisualProcess vp;
    ColorSpace::pl_color_repr r8{}, r16{};
    r8.bits.color_depth = 8;
    r16.bits.color_depth = 16;
    ColorSpace::pl_color_space s709{}, s2020{};
    s709.primaries = ColorSpace::PL_COLOR_PRIM_BT_709;
    s2020.primaries = ColorSpace::PL_COLOR_PRIM_BT_2020;
    for (uint32_t fmt : {BGRA32, BGRA64}) {
        PlanarFrame in(fmt, 7, 3), out(fmt, 7, 3);
        in.FillRandom(12);
        const auto& repr = fmt == BGRA64 ? r16 : r8;
        ASSERT_EQ(vp.ChangeColorSpace(in.frame, out.frame, &repr, &s709, &repr, &s709), Ok);
        EXPECT_LE(out.MaxDiff(in), 0) << fmt;
        EXPECT_TRUE(out.GuardsIntact());
    }
    // BT.709 red in BT.2020 (ITU-R BT.2087): (0.6274, 0.0691, 0.0164).
    PlanarFrame in(BGRA32, 1, 1), out(BGRA32, 1, 1);
    in.Fill([](int, int x, int) { return x == 2 || x == 3 ? 255 : 0; });
    ASSERT_EQ(vp.ChangeColorSpace(in.frame, out.frame, &r8, &s709, &r8, &s2020), Ok);
    EXPECT_NEAR(out.Get(0, 2, 0), 0.6274 * 255, 1);
    EXPECT_NEAR(out.Get(0, 1, 0), 0.0691 * 255, 1);
    EXPECT_NEAR(out.Get(0, 0, 0), 0.0164 * 255, 1);
    EXPECT_EQ(out.Get(0, 3, 0), 255);
    EXPECT_EQ(vp.ChangeColorSpace(in.frame, out.frame, &r16, &s709, &r8, &s2020), WrongFormat) << "depth vs storage";
    EXPECT_EQ(vp.ChangeColorSpace(in.frame, out.frame, nullptr, &s709, &r8, &s2020), InvalidArgument);
}

TEST(ICCProfile, SrgbProfileKeepsPixelsAndWideFramesAreRefused) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number len = 0;
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, nullptr, &len));
    std::vector<uint8_t> bytes(len);
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, bytes.data(), &len));
    cmsCloseProfile(srgb);
    const ColorSpace::pl_icc_profile profile{bytes.data(), bytes.size(), 1};
    PlanarFrame f(BGRA32, 9, 5), ref(BGRA32, 9, 5);
    f.FillRandom(13);
    ref.FillRandom(13);
    VisualProcess vp;
    ASSERT_EQ(vp.ICCProfileTransform(&profile, f.frame), Ok);
    EXPECT_LE(f.MaxDiff(ref), 1);
    EXPECT_TRUE(f.GuardsIntact()) << "the last row stops at its width";
    PlanarFrame wide(BGRA64, 4, 4);
    LogCapture cap;
    EXPECT_EQ(vp.ICCProfileTransform(&profile, wide.frame), WrongFormat);
    EXPECT_TRUE(cap.Has("input format is not BGRA32!!", "orvex:ICCProfileTransform", 6)) << cap.Dump();
    EXPECT_EQ(vp.ICCProfileTransform(nullptr, f.frame), InvalidArgument);
}

// --- bad input never crashes and never writes ------------------------------------------------------------

TEST(FrameUtilities, EmptyFramesAreRefused) {
    VisualProcess vp;
    EffectFrame a, b, c;
    LogCapture cap;
    const MotionAnimationParam motion{1, 1, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 16, 9, 0, 0};
    const GradientData gradient{};
    ColorSpace::pl_color_repr repr{};
    ColorSpace::pl_color_space space{};
    EXPECT_NE(vp.Deinterlace(a, b, 0), Ok);
    EXPECT_NE(vp.FrameInterpolation(a, b, c, 0.5f), Ok);
    EXPECT_NE(vp.Premultiply(a, b, 1, false), Ok);
    EXPECT_NE(vp.FillFrame(a, false, 0), Ok);
    EXPECT_NE(vp.channelControl(a, b, c, 3), Ok);
    for (int backend : {1, 2, 3}) {
        EXPECT_NE(vp.viewmaskasalpha(a, b, c, backend), Ok);
        EXPECT_NE(vp.viewmaskasresult(a, b, c, backend), Ok);
        EXPECT_NE(vp.viewmaskassquare(a, b, c, backend), Ok);
        EXPECT_NE(vp.viewmaskascolormask(a, b, 0, c, backend), Ok);
    }
    EXPECT_NE(vp.Motion_Animation(a, b, motion), Ok);
    EXPECT_NE(vp.Do_Gradient(a, 0, gradient), Ok);
    EXPECT_NE(vp.Blend_Mask_NoType(a, b, c, c), Ok);
    EXPECT_NE(vp.AnalyzeColorReference(a), Ok);
    EXPECT_NE(vp.HDR2SDR(a, b, 1, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709), Ok);
    EXPECT_NE(vp.SDR2HDR(a, b, 1, 2), Ok);
    EXPECT_NE(vp.PQToHLG(a, b), Ok);
    EXPECT_NE(vp.HLGToPQ(a, b), Ok);
    EXPECT_NE(vp.ChangeColorSpace(a, b, &repr, &space, &repr, &space), Ok);
    EXPECT_NE(vp.ICCProfileTransform(nullptr, a), Ok);
}

}  // namespace
}  // namespace orvex
