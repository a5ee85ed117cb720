// Convert and the repacking operations on host frames: the standard matrices' fixed points for
// every colour mode, the colour-mode derivation, the scaling paths, round trips and bad input.
#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "convert_cases.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/ConvertOps.h"
#include "visual/VisualProcess.h"
#include "yuv.h"

namespace orvex {
namespace {

using namespace ColorSpace;
using orvextest::FillYuv;
using orvextest::LogCapture;
using orvextest::PlanarFrame;
using orvextest::ReprFor;
using orvextest::StandardYuv;

const pl_color_space kSpace = orvextest::Bt709Space();

// Largest channel difference of every BGRA pixel from (b, g, r), and alpha exactly `a`.
int MaxFromColour(const PlanarFrame& f, int b, int g, int r, int a, std::string* where) {
    int worst = 0;
    const int want[4] = {b, g, r, a};
    for (int y = 0; y < f.rows[0]; ++y)
        for (int s = 0; s < f.samples[0]; ++s) {
            const int d = std::abs(f.Get(0, s, y) - want[s % 4]);
            if (d > worst && where) *where = "(" + std::to_string(s / 4) + "," + std::to_string(y) + ") channel " +
                                              std::to_string(s % 4) + ": " + std::to_string(f.Get(0, s, y));
            worst = std::max(worst, d);
        }
    return worst;
}

// --- the colour mode -------------------------------------------------------------------------------------

TEST(ConvertChoices, ColourModeDerivation) {
    const pl_color_space bt709 = kSpace;
    pl_color_space bt601 = kSpace, bt2020 = kSpace;
    bt601.primaries = PL_COLOR_PRIM_BT_601_625;
    bt2020.primaries = PL_COLOR_PRIM_BT_2020;
    struct Case {
        pl_color_system sys;
        pl_color_levels levels;
        pl_color_space space;
        int32_t mode;
    } cases[] = {
        {PL_COLOR_SYSTEM_BT_709, PL_COLOR_LEVELS_FULL, bt709, 1},
        {PL_COLOR_SYSTEM_BT_709, PL_COLOR_LEVELS_LIMITED, bt709, 0},
        {PL_COLOR_SYSTEM_BT_601, PL_COLOR_LEVELS_FULL, bt709, 3},
        {PL_COLOR_SYSTEM_BT_601, PL_COLOR_LEVELS_LIMITED, bt2020, 2},
        {PL_COLOR_SYSTEM_BT_2020_NC, PL_COLOR_LEVELS_FULL, bt709, 5},
        {PL_COLOR_SYSTEM_BT_2020_NC, PL_COLOR_LEVELS_LIMITED, bt709, 4},
        // Dolby Vision takes the system its primaries imply.
        {PL_COLOR_SYSTEM_DOLBYVISION, PL_COLOR_LEVELS_FULL, bt709, 1},
        {PL_COLOR_SYSTEM_DOLBYVISION, PL_COLOR_LEVELS_LIMITED, bt601, 2},
        {PL_COLOR_SYSTEM_DOLBYVISION, PL_COLOR_LEVELS_LIMITED, bt2020, -1},
        {PL_COLOR_SYSTEM_BT_709, PL_COLOR_LEVELS_UNKNOWN, bt709, -1},
        {PL_COLOR_SYSTEM_YCGCO, PL_COLOR_LEVELS_FULL, bt709, -1},
        {PL_COLOR_SYSTEM_BT_2020_C, PL_COLOR_LEVELS_LIMITED, bt709, -1},
    };
    for (const Case& c : cases) {
        const pl_color_repr repr{c.sys, c.levels, PL_ALPHA_INDEPENDENT, {8, 8, 0}};
        EXPECT_EQ(ColorModeOf(repr, c.space), c.mode) << "system " << c.sys << " levels " << c.levels;
    }
}

TEST(ConvertChoices, KernelsByQualityAndSize) {
    // Half size is not below half: quality 2 drops to the bilinear kernel; a third is below.
    EXPECT_STREQ(YV12KernelFor(2, 1920, 1080, 960, 540), "YV12ToBGRAL");
    EXPECT_STREQ(YV12KernelFor(2, 1920, 1080, 640, 360), "YV12ToBGRA_High");
    EXPECT_STREQ(YV12KernelFor(3, 1920, 1080, 960, 540), "YV12ToBGRA_High");
    EXPECT_STREQ(YV12KernelFor(1, 1920, 1080, 640, 360), "YV12ToBGRAL");
    EXPECT_STREQ(YV12KernelFor(0, 1920, 1080, 640, 360), "YV12ToBGRAN");
    EXPECT_STREQ(YV12KernelFor(-4, 1920, 1080, 640, 360), "YV12ToBGRAN");
    EXPECT_STREQ(NV12KernelFor(2, 1920, 1080, 960, 540), "NV12ToRGB_MID");
    EXPECT_STREQ(NV12KernelFor(2, 1920, 1080, 640, 360), "NV12ToRGB_HIGH");
    EXPECT_STREQ(NV12KernelFor(0, 1920, 1080, 640, 360), "NV12ToRGB");
    EXPECT_STREQ(Yuv16KernelSuffix(1), "_mid");
    EXPECT_STREQ(Yuv16KernelSuffix(2), "_high");
    EXPECT_STREQ(Yuv16KernelSuffix(0), "_low");
    EXPECT_STREQ(Yuv16KernelSuffix(9), "_low");
    // Matrix index order of the kernels' tables: 2020, 709, 601 limited, then full.
    const int32_t index[] = {1, 4, 2, 5, 0, 3, 1, 4, 2, 5, 0, 3};
    for (int32_t mode = 0; mode < 12; ++mode) EXPECT_EQ(ColorMatrixIndex(mode), index[mode]) << mode;
    EXPECT_EQ(ColorMatrixIndex(42), 2);
    EXPECT_EQ(ColorMatrixIndex(-1), 2);
}

// --- fixed points of the standard matrices -----------------------------------------------------------------

struct Colour {
    const char* name;
    int r, g, b;
};
const Colour kColours[] = {{"black", 0, 0, 0},   {"white", 255, 255, 255}, {"red", 255, 0, 0},
                           {"green", 0, 255, 0}, {"blue", 0, 0, 255},      {"grey", 128, 128, 128}};

// Limited black (16,128,128) -> 0 and white (235,128,128) -> 255 exactly; primaries within 2 per
// channel (the rounding of the YUV codes and the converters' fixed-point coefficients).
int ToleranceFor(const Colour& c) { return c.r == c.g && c.g == c.b && c.r != 128 ? 0 : 2; }

TEST(ConvertCpu, FixedPointsOfEveryModeAndFormat) {
    // P010 holds the 8-bit codes at 10 bits (limited: times 4; full: luma 0..255 onto 0..1023 and
    // chroma likewise about 512), in the top bits of each word, and decodes with the mode's matrix
    // like the 8-bit formats.
    VisualProcess vp;
    for (uint32_t fmt : {YV12, NV12, YUVA420, P010})
        for (int mode = 0; mode < 6; ++mode)
            for (const Colour& c : kColours) {
                PlanarFrame in(fmt, 6, 4), out(BGRA32, 6, 4), none(BGRA32, 6, 4);
                none.frame.data[0] = nullptr;
                orvextest::Yuv8 yuv = StandardYuv(mode, c.r, c.g, c.b);
                if (fmt == P010) {
                    const auto ten = [&](int v, int centre) {
                        return static_cast<int>(mode % 2 ? centre * 4 + std::lround((v - centre) * 1023 / 255.0)
                                                         : v * 4)
                               << 6;
                    };
                    yuv = {ten(yuv.y, 0), ten(yuv.cb, 128), ten(yuv.cr, 128)};
                }
                FillYuv(in, yuv);
                ASSERT_EQ(vp.Convert(ReprFor(mode, fmt == P010 ? 10 : 8), kSpace, in.frame, none.frame, out.frame, 0, 1),
                          Ok);
                std::string where;
                // The 10-bit decode follows the kernels, whose chroma centre is (1023) / 2 = 511.5:
                // half a chroma code off 512, which can move a grey by one.
                const int tolerance = fmt == P010 ? std::max(ToleranceFor(c), 1) : ToleranceFor(c);
                EXPECT_LE(MaxFromColour(out, c.b, c.g, c.r, 255, &where), tolerance)
                    << "format " << fmt << " mode " << mode << " " << c.name << " " << where;
                EXPECT_TRUE(out.GuardsIntact());
            }
}

TEST(ConvertCpu, Bt709LimitedPrimariesFromTheirPublishedCodes) {
    // BT.709 limited range: red (63,102,240), green (173,42,26), blue (32,240,118).
    const struct {
        orvextest::Yuv8 yuv;
        int r, g, b;
    } cases[] = {{{63, 102, 240}, 255, 0, 0}, {{173, 42, 26}, 0, 255, 0}, {{32, 240, 118}, 0, 0, 255}};
    VisualProcess vp;
    for (const auto& c : cases) {
        PlanarFrame in(YV12, 4, 2), out(BGRA32, 4, 2), none(BGRA32, 4, 2);
        FillYuv(in, c.yuv);
        ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, in.frame, none.frame, out.frame, 0, 1), Ok);
        EXPECT_LE(MaxFromColour(out, c.b, c.g, c.r, 255, nullptr), 2) << c.yuv.y;
    }
}

// --- encoders and round trips ------------------------------------------------------------------------------

TEST(ConvertCpu, EncodersProduceTheStandardCodes) {
    VisualProcess vp;
    for (int mode = 0; mode < 6; ++mode)
        for (const Colour& c : kColours) {
            PlanarFrame in(BGRA32, 6, 4), out(YUVA420, 6, 4);
            in.Fill([&](int, int s, int) { return s % 4 == 3 ? 77 : s % 4 == 0 ? c.b : s % 4 == 1 ? c.g : c.r; });
            ASSERT_EQ(vp.Convert(ReprFor(mode), kSpace, in.frame, in.frame, out.frame, 0, 1), Ok);
            const orvextest::Yuv8 want = StandardYuv(mode, c.r, c.g, c.b);
            EXPECT_NEAR(out.Get(0, 3, 1), want.y, 1) << "mode " << mode << " " << c.name;
            EXPECT_NEAR(out.Get(2, 1, 1), want.cb, 1) << "mode " << mode << " " << c.name;
            EXPECT_NEAR(out.Get(1, 1, 1), want.cr, 1) << "mode " << mode << " " << c.name;
            EXPECT_EQ(out.Get(3, 5, 3), 77) << "alpha copied";
            EXPECT_TRUE(out.GuardsIntact());
        }
}

TEST(ConvertCpu, RoundTripThroughYv12StaysClose) {
    // On a smooth picture the 4:2:0 subsampling costs little: within 4 per channel, mean below 1.
    VisualProcess vp;
    for (int mode = 0; mode < 6; ++mode) {
        PlanarFrame src(BGRA32, 37, 22), yuv(YV12, 37, 22), back(BGRA32, 37, 22);
        orvextest::FillSmoothBGRA(src);
        ASSERT_EQ(vp.Convert(ReprFor(mode), kSpace, src.frame, src.frame, yuv.frame, 0, 1), Ok);
        ASSERT_EQ(vp.Convert(ReprFor(mode), kSpace, yuv.frame, src.frame, back.frame, 0, 1), Ok);
        std::string where;
        EXPECT_LE(src.MaxDiff(back, 4, &where), 4) << "mode " << mode << " " << where;
        double sum = 0;
        for (int y = 0; y < 22; ++y)
            for (int s = 0; s < 37 * 4; ++s) sum += std::abs(src.Get(0, s, y) - back.Get(0, s, y));
        EXPECT_LT(sum / (22 * 37 * 4), 1.0) << "mode " << mode;
    }
}

TEST(ConvertCpu, LargeFramesEncodeInBandsAsInOneCall) {
    // 1920x1080 and above splits into row bands; the bands must join without a seam.
    VisualProcess vp;
    PlanarFrame src(BGRA32, 1920, 1080), banded(YV12, 1920, 1080), whole(YV12, 1920, 1080);
    src.FillRandom(3);
    ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, src.frame, src.frame, banded.frame, 0, 1), Ok);
    ASSERT_EQ(imageRGBToYV12BT709_Limited(src.frame.data[0], src.frame.pitch[0], whole.frame.data[0],
                                          whole.frame.pitch[0], whole.frame.data[2], whole.frame.pitch[2],
                                          whole.frame.data[1], whole.frame.pitch[1], 1920, 1080),
              0);
    EXPECT_EQ(banded.MaxDiff(whole), 0);
}

TEST(ConvertCpu, P010RoundTripInBt2020) {
    VisualProcess vp;
    PlanarFrame src(BGRA64, 16, 10), p010(P010, 16, 10), back(BGRA64, 16, 10), none(BGRA32, 16, 10);
    orvextest::FillSmoothBGRA(src);
    p010.frame.bitDepth = 10;
    ASSERT_EQ(vp.Convert(ReprFor(4, 10), kSpace, src.frame, none.frame, p010.frame, 0, 1), Ok);
    ASSERT_EQ(vp.Convert(ReprFor(4, 10), kSpace, p010.frame, none.frame, back.frame, 0, 1), Ok);
    // 10-bit codes are 64 apart in 16 bits; chroma subsampling of a gentle ramp adds a little.
    EXPECT_LE(src.MaxDiff(back), 4 * 257);
    // Black lands on code 64 (limited) or 0 (full) in the top ten bits, chroma on M / 2.
    PlanarFrame black(BGRA64, 2, 2), code(P010, 2, 2);
    black.Fill([](int, int s, int) { return s % 4 == 3 ? 65535 : 0; });
    for (int mode : {4, 5}) {
        ASSERT_EQ(vp.Convert(ReprFor(mode, 10), kSpace, black.frame, none.frame, code.frame, 0, 1), Ok);
        EXPECT_EQ(code.Get(0, 0, 0), (mode == 4 ? 64 : 0) << 6);
        EXPECT_EQ(code.Get(1, 0, 0), 512 << 6);
    }
}

// --- the paths of Convert ---------------------------------------------------------------------------------

TEST(ConvertCpu, BgraToBgraIsAResize) {
    VisualProcess vp;
    PlanarFrame in(BGRA32, 16, 8), viaConvert(BGRA32, 8, 4), viaResize(BGRA32, 8, 4);
    in.FillRandom(5);
    // Any colour description, even one that yields no mode.
    const pl_color_repr odd{PL_COLOR_SYSTEM_YCGCO, PL_COLOR_LEVELS_UNKNOWN, PL_ALPHA_UNKNOWN, {10, 10, 0}};
    ASSERT_EQ(vp.Convert(odd, kSpace, in.frame, in.frame, viaConvert.frame, 1, 2, 0), Ok);
    ASSERT_EQ(vp.Resize(in.frame, viaResize.frame, 1, 2), Ok);
    EXPECT_EQ(viaConvert.MaxDiff(viaResize), 0);
    // The short form stretches (resize type 0).
    PlanarFrame shortForm(BGRA32, 8, 6), stretched(BGRA32, 8, 6);
    ASSERT_EQ(vp.Convert(odd, kSpace, in.frame, in.frame, shortForm.frame, 1, 0), Ok);
    ASSERT_EQ(vp.Resize(in.frame, stretched.frame, 0, 1), Ok);
    EXPECT_EQ(shortForm.MaxDiff(stretched), 0);
}

TEST(ConvertCpu, NoModeAtDepthTenIsNotHandled) {
    VisualProcess vp;
    LogCapture cap;
    PlanarFrame in(YV12, 8, 4), out(BGRA32, 8, 4);
    out.Fill([](int, int, int) { return 3; });
    const pl_color_repr ycgco{PL_COLOR_SYSTEM_YCGCO, PL_COLOR_LEVELS_FULL, PL_ALPHA_INDEPENDENT, {16, 10, 0}};
    EXPECT_EQ(vp.Convert(ycgco, kSpace, in.frame, in.frame, out.frame, 0, 1), FormatNotHandled);
    EXPECT_EQ(out.Get(0, 0, 0), 3);
    EXPECT_EQ(cap.lines().size(), 1u) << cap.Dump();
}

TEST(ConvertCpu, GenericMatrixDecodesOtherSystems) {
    // BT.709 with unknown levels has no fixed mode; the caller's matrices decode it as limited
    // range (the colour-management library's default), so black and white stay fixed points.
    VisualProcess vp;
    const pl_color_repr repr{PL_COLOR_SYSTEM_BT_709, PL_COLOR_LEVELS_UNKNOWN, PL_ALPHA_INDEPENDENT, {8, 8, 0}};
    for (uint32_t fmt : {YV12, NV12})
        for (const Colour& c : kColours) {
            PlanarFrame in(fmt, 6, 4), out(BGRA32, 6, 4);
            FillYuv(in, StandardYuv(0, c.r, c.g, c.b));
            ASSERT_EQ(vp.Convert(repr, kSpace, in.frame, in.frame, out.frame, 0, 1), Ok);
            EXPECT_LE(MaxFromColour(out, c.b, c.g, c.r, 255, nullptr), ToleranceFor(c) + 1) << fmt << " " << c.name;
        }
    // With BT.2020 primaries the picture is mapped to BT.709's: pure BT.2020 green leaves the
    // BT.709 gamut, so red and blue clip to 0 while green saturates.
    pl_color_space wide = kSpace;
    wide.primaries = PL_COLOR_PRIM_BT_2020;
    PlanarFrame in(YV12, 4, 2), out(BGRA32, 4, 2);
    FillYuv(in, StandardYuv(0, 64, 128, 64));
    ASSERT_EQ(vp.Convert(repr, wide, in.frame, in.frame, out.frame, 0, 1), Ok);
    PlanarFrame same(BGRA32, 4, 2);
    ASSERT_EQ(vp.Convert(repr, kSpace, in.frame, in.frame, same.frame, 0, 1), Ok);
    EXPECT_GT(out.Get(0, 1, 0), same.Get(0, 1, 0)) << "BT.2020 green is greener than BT.709's";
    EXPECT_LT(out.Get(0, 2, 0), same.Get(0, 2, 0) - 20) << "and its red share falls away";
}

TEST(ConvertCpu, QualityThreeUsesTheIntermediateFrameWhenItHasStorage) {
    VisualProcess vp;
    PlanarFrame in(YV12, 32, 16), out(BGRA32, 8, 4), mid(BGRA32, 32, 16), direct(BGRA32, 8, 4), empty(BGRA32, 32, 16);
    in.FillRandom(11);
    mid.Fill([](int, int, int) { return 1; });
    ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, in.frame, mid.frame, out.frame, 0, 3, 1), Ok);
    // Convert-then-resize: the intermediate holds the full-size picture and out its reduction.
    PlanarFrame full(BGRA32, 32, 16), reduced(BGRA32, 8, 4);
    ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, in.frame, empty.frame, full.frame, 0, 3, 1), Ok);
    EXPECT_EQ(mid.MaxDiff(full), 0);
    ASSERT_EQ(vp.Resize(full.frame, reduced.frame, 0, 3), Ok);
    EXPECT_EQ(out.MaxDiff(reduced), 0);
    // Without storage: one direct conversion, the YUV planes reduced first.
    empty.frame.data[0] = nullptr;
    ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, in.frame, empty.frame, direct.frame, 0, 3, 1), Ok);
    EXPECT_GT(direct.MaxDiff(out), 0) << "a different path";
}

TEST(ConvertCpu, FailedHighQualityStepFallsBackToDirect) {
    VisualProcess vp;
    LogCapture cap;
    PlanarFrame in(NV12, 32, 16), out(BGRA32, 16, 8), direct(BGRA32, 16, 8);
    PlanarFrame wrong(YV12, 32, 16);  // storage, but not a BGRA frame: the first step fails
    in.FillRandom(2);
    ASSERT_EQ(vp.Convert(ReprFor(1), kSpace, in.frame, wrong.frame, out.frame, 0, 3, 1), Ok);
    EXPECT_TRUE(cap.Has("High Quality Failed!!", "orvex:NV12ToBGRA_CPU", 6)) << cap.Dump();
    wrong.frame.data[0] = nullptr;
    ASSERT_EQ(vp.Convert(ReprFor(1), kSpace, in.frame, wrong.frame, direct.frame, 0, 3, 1), Ok);
    EXPECT_EQ(out.MaxDiff(direct), 0);
}

TEST(ConvertCpu, ScaledConversionsMatchConvertThenResizeOnSmoothPictures) {
    // Both directions and both 8-bit formats, against the same picture converted at full size and
    // resized. Reductions scale the YUV planes, luma by box and chroma by the library's linear
    // filter, which samples rows a little apart from the box: within 8 codes on these ramps.
    VisualProcess vp;
    struct Case {
        uint32_t fmt;
        int inW, inH, outW, outH, quality;
    } cases[] = {{YV12, 64, 32, 32, 16, 1}, {NV12, 64, 32, 32, 16, 1}, {YV12, 64, 32, 20, 12, 3},
                 {NV12, 24, 16, 48, 32, 1}, {YV12, 24, 16, 48, 32, 2}, {YUVA420, 24, 16, 48, 32, 0}};
    for (const Case& c : cases) {
        PlanarFrame bgra(BGRA32, c.inW, c.inH), yuv(c.fmt, c.inW, c.inH);
        orvextest::FillSmoothBGRA(bgra);
        PlanarFrame none(BGRA32, 2, 2);
        none.frame.data[0] = nullptr;
        // NV12 has no host encoder: encode YV12 and repack.
        PlanarFrame yv12(YV12, c.inW, c.inH);
        ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, bgra.frame, none.frame, c.fmt == NV12 ? yv12.frame : yuv.frame, 0, 1),
                  Ok);
        if (c.fmt == NV12) {
            ASSERT_EQ(vp.YV12ToNV12(yv12.frame, yuv.frame), Ok);
        }
        PlanarFrame scaled(BGRA32, c.outW, c.outH), full(BGRA32, c.inW, c.inH), ref(BGRA32, c.outW, c.outH);
        ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, yuv.frame, none.frame, scaled.frame, 0, c.quality, 1), Ok);
        ASSERT_EQ(vp.Convert(ReprFor(0), kSpace, yuv.frame, none.frame, full.frame, 0, c.quality, 1), Ok);
        ASSERT_EQ(vp.Resize(full.frame, ref.frame, 0, c.quality == 0 ? 0 : 1), Ok);
        std::string where;
        EXPECT_LE(scaled.MaxDiff(ref, 8, &where), 8) << c.fmt << " " << c.outW << " " << where;
        EXPECT_TRUE(scaled.GuardsIntact());
    }
}

TEST(ConvertCpu, ExcursionsKeepTheirColourOnEveryPath) {
    // Super-white and sub-black codes of one colour over the whole frame, through the direct,
    // reduced, enlarged and two-step paths into 8- and 16-bit BGRA: every pixel is the matrix
    // applied to the codes as they are (BT.601 limited Y 250, Cb 122, Cr 100 gives B 255, G 255,
    // R 228, where a clamp of luma to 235 first would give 243, 255, 210; Y 4, Cb 200, Cr 60 gives
    // B 131, G 13, R 0, not 145, 27, 0), within 1, and 257
    // times that for 16 bits.
    struct Colour {
        int y, cb, cr, b, g, r;
    } colours[] = {{250, 122, 100, 255, 255, 228}, {4, 200, 60, 131, 13, 0}};
    struct Size {
        int w, h, quality;
        bool twoStep;
    } sizes[] = {{16, 8, 0, false}, {8, 4, 1, false}, {8, 4, 2, false}, {32, 16, 1, false}, {8, 4, 3, true},
                 {32, 16, 3, true}};
    VisualProcess vp;
    for (const Colour& c : colours)
        for (uint32_t fmt : {YV12, NV12, YUVA420})
            for (uint32_t outFmt : {BGRA32, BGRA64})
                for (const Size& z : sizes) {
                    PlanarFrame in(fmt, 16, 8), out(outFmt, z.w, z.h), mid(BGRA32, 16, 8);
                    FillYuv(in, {c.y, c.cb, c.cr});
                    if (!z.twoStep) mid.frame.data[0] = nullptr;
                    ASSERT_EQ(vp.Convert(ReprFor(2), kSpace, in.frame, mid.frame, out.frame, 0, z.quality, 1), Ok);
                    const int unit = outFmt == BGRA64 ? 257 : 1;
                    std::string where;
                    EXPECT_LE(MaxFromColour(out, c.b * unit, c.g * unit, c.r * unit, 255 * unit, &where), unit)
                        << "Y " << c.y << " format " << fmt << " to " << outFmt << " " << z.w << "x" << z.h
                        << " quality " << z.quality << " " << where;
                }
}

TEST(ConvertCpu, SixteenBitOutputsWiden) {
    VisualProcess vp;
    PlanarFrame in(YV12, 4, 2), out(BGRA64, 4, 2), none(BGRA32, 4, 2);
    FillYuv(in, StandardYuv(1, 255, 255, 255));
    ASSERT_EQ(vp.Convert(ReprFor(1), kSpace, in.frame, none.frame, out.frame, 0, 1), Ok);
    EXPECT_EQ(out.Get(0, 0, 0), 65535);
    PlanarFrame src(BGRA32, 4, 2), p10(YV12P10, 4, 2);
    src.Fill([](int, int s, int) { return s % 4 == 3 ? 255 : 0; });
    ASSERT_EQ(vp.Convert(ReprFor(0, 10), kSpace, src.frame, none.frame, p10.frame, 0, 1), Ok);
    EXPECT_EQ(p10.Get(0, 0, 0), 64) << "limited black at 10 bits";
    EXPECT_EQ(p10.Get(1, 0, 0), 512);
}

TEST(ConvertCpu, UnsupportedPairsAndBadFrames) {
    VisualProcess vp;
    LogCapture cap;
    PlanarFrame yv12(YV12, 8, 4), nv12(NV12, 8, 4), bgra(BGRA32, 8, 4), p10(YV12P10, 8, 4), small(YV12, 4, 2);
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, yv12.frame, bgra.frame, nv12.frame, 0, 1), WrongFormat);
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, p10.frame, bgra.frame, nv12.frame, 0, 1), WrongFormat);
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, bgra.frame, bgra.frame, small.frame, 0, 1), Failed);
    EXPECT_TRUE(cap.Has("frame resolution is not equal!", "orvex::BGRAToYV12"));
    PlanarFrame formats2(PIXFMT_2, 8, 4);
    formats2.frame.pixel_fmt = PIXFMT_2;
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, formats2.frame, bgra.frame, bgra.frame, 0, 1), WrongFormat);
    yv12.frame.data[1] = nullptr;
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, yv12.frame, bgra.frame, bgra.frame, 0, 1), InvalidArgument);
    bgra.frame.pitch[0] = 8;  // shorter than a row
    EXPECT_EQ(vp.Convert(ReprFor(0), kSpace, nv12.frame, bgra.frame, bgra.frame, 0, 1), InvalidArgument);
    EXPECT_TRUE(bgra.GuardsIntact());
}

// --- the stand-ins for the host's YUV and colour-management libraries --------------------------------------

TEST(YuvLibrary, P010DecodesBt2020LimitedCodes) {
    // 10-bit limited range: luma 64..940, chroma 64..960 around 512, in the top bits of each word.
    // BT.2020 red: Y = 64 + 876 * 0.2627 = 294, Cb = 512 - 896 * 0.2627 / 1.8814 = 387, Cr = 960.
    const struct {
        int y, cb, cr, r, g, b;
    } cases[] = {{64, 512, 512, 0, 0, 0}, {940, 512, 512, 65535, 65535, 65535}, {294, 387, 960, 65535, 0, 0}};
    for (const auto& c : cases) {
        PlanarFrame in(P010, 2, 2), out(BGRA64, 2, 2);
        in.Fill([&](int plane, int x, int) { return (plane == 0 ? c.y : x % 2 ? c.cr : c.cb) << 6; });
        ASSERT_EQ(imageP010ToARGB64BT2020_Limited(in.frame.data[0], in.frame.pitch[0], in.frame.data[1],
                                                  in.frame.pitch[1], out.frame.data[0], out.frame.pitch[0], 2, 2),
                  0);
        // Half a 10-bit code is about 40 in 16 bits.
        EXPECT_NEAR(out.Get(0, 2, 1), c.r, 120) << c.y;
        EXPECT_NEAR(out.Get(0, 1, 1), c.g, 120) << c.y;
        EXPECT_NEAR(out.Get(0, 0, 1), c.b, 120) << c.y;
        EXPECT_EQ(out.Get(0, 3, 1), 65535);
    }
    EXPECT_NE(imageP010ToARGB64BT2020_Limited(nullptr, 4, nullptr, 4, nullptr, 16, 2, 2), 0);
}

TEST(ColourManagement, PlaceboFunctions) {
    EXPECT_TRUE(pl_color_space_equal(&pl_color_space_nle, &kSpace));
    pl_color_space other = kSpace;
    other.transfer = PL_COLOR_TRC_PQ;
    EXPECT_FALSE(pl_color_space_equal(&other, &kSpace));
    EXPECT_FLOAT_EQ(pl_color_transfer_nominal_peak(PL_COLOR_TRC_BT_1886), 1.0f);
    EXPECT_NEAR(pl_color_transfer_nominal_peak(PL_COLOR_TRC_PQ), 10000.0 / 203.0, 0.01);  // 10000 nits over 203
    const pl_raw_primaries* p = pl_raw_primaries_get(PL_COLOR_PRIM_BT_709);
    EXPECT_NEAR(p->red.x, 0.64, 1e-6);
    EXPECT_NEAR(p->white.x, 0.3127, 1e-4);  // D65
    const pl_matrix3x3 same = pl_get_color_mapping_matrix(p, p, PL_INTENT_RELATIVE_COLORIMETRIC);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(same.m[r][c], pl_matrix3x3_identity.m[r][c], 1e-5);
    // BT.709 limited decode: Y' = (Y - 16/255) * 255/219, R = Y' + 1.5748 Cr' (Cr' scaled by 255/224).
    pl_color_repr repr = ReprFor(0);
    const pl_transform3x3 t = pl_color_repr_decode(&repr, nullptr);
    EXPECT_NEAR(t.mat.m[0][0], 255.0 / 219.0, 1e-4);
    EXPECT_NEAR(t.mat.m[0][2], 1.5748 * 255.0 / 224.0, 1e-3);
    EXPECT_EQ(repr.sys, PL_COLOR_SYSTEM_RGB);
    pl_color_repr junk{static_cast<pl_color_system>(99), static_cast<pl_color_levels>(-3), PL_ALPHA_UNKNOWN, {8, 8, 0}};
    pl_color_repr_decode(&junk, nullptr);  // out-of-range values decode as unknown, not out of bounds
}

// --- repacking ----------------------------------------------------------------------------------------------

TEST(RepackCpu, Nv12AndYv12RoundTrip) {
    VisualProcess vp;
    PlanarFrame yv12(YV12, 13, 7), nv12(NV12, 13, 7), back(YV12, 13, 7);
    yv12.FillRandom(4);
    ASSERT_EQ(vp.YV12ToNV12(yv12.frame, nv12.frame), Ok);
    EXPECT_EQ(nv12.Get(1, 0, 0), yv12.Get(2, 0, 0)) << "U (plane 2) comes first in the pairs";
    EXPECT_EQ(nv12.Get(1, 1, 0), yv12.Get(1, 0, 0));
    ASSERT_EQ(vp.NV12ToYV12(nv12.frame, back.frame), Ok);
    EXPECT_EQ(yv12.MaxDiff(back), 0);
    EXPECT_TRUE(nv12.GuardsIntact() && back.GuardsIntact());
    PlanarFrame other(YV12, 12, 7);
    EXPECT_EQ(vp.NV12ToYV12(nv12.frame, other.frame), InvalidArgument);
    EXPECT_EQ(vp.YV12ToNV12(other.frame, nv12.frame), InvalidArgument);
    EXPECT_EQ(vp.YV12ToNV12(nv12.frame, yv12.frame), WrongFormat);
}

TEST(RepackCpu, BgraAndBgrAndRgb) {
    VisualProcess vp;
    PlanarFrame bgra(BGRA32, 5, 3), back(BGRA32, 5, 3), swapped(BGRA32, 5, 3);
    bgra.FillRandom(8);
    std::vector<uint8_t> bgr(3 * 5 * 3 + 16, 0xA5);
    EffectFrame three;
    three.width[0] = 5;
    three.height[0] = 3;
    three.data[0] = bgr.data();
    three.pitch[0] = 15;
    ASSERT_EQ(vp.BGRAToBGR(bgra.frame, three), Ok);
    EXPECT_EQ(bgr[3 * 4 + 2], bgra.Get(0, 4 * 4 + 2, 0));
    EXPECT_EQ(bgr[45], 0xA5) << "nothing past the last row";
    ASSERT_EQ(vp.BGRToBGRA(three, back.frame), Ok);
    for (int s = 0; s < 20; ++s) EXPECT_EQ(back.Get(0, s, 2), s % 4 == 3 ? 255 : bgra.Get(0, s, 2));
    ASSERT_EQ(vp.BGRToRGB(bgra.frame, swapped.frame), Ok);
    EXPECT_EQ(swapped.Get(0, 0, 1), bgra.Get(0, 2, 1));
    EXPECT_EQ(swapped.Get(0, 3, 1), bgra.Get(0, 3, 1));
    three.pitch[0] = 10;
    EXPECT_EQ(vp.BGRAToBGR(bgra.frame, three), InvalidArgument);
    PlanarFrame yv12(YV12, 5, 3);
    EXPECT_EQ(vp.BGRToRGB(yv12.frame, swapped.frame), WrongFormat);
}

TEST(RepackCpu, ConvertTo8BitShiftsAndSaturates) {
    VisualProcess vp;
    PlanarFrame in(YUVAP10, 6, 4), out(YUVA420, 6, 4);
    in.Fill([](int plane, int x, int) { return plane == 3 ? 1023 : 4 * x + plane; });
    ASSERT_EQ(vp.ConvertTo8Bit(in.frame, out.frame, 10), Ok);
    EXPECT_EQ(out.Get(3, 5, 3), 255) << "1023 >> 2";
    EXPECT_EQ(out.Get(0, 5, 0), 5);
    EXPECT_EQ(out.Get(2, 2, 1), (8 + 2) >> 2);
    EXPECT_TRUE(out.GuardsIntact());
    // A depth of 8 declared for 10-bit samples saturates instead of wrapping.
    ASSERT_EQ(vp.ConvertTo8Bit(in.frame, out.frame, 8), Ok);
    EXPECT_EQ(out.Get(3, 0, 0), 255);
    PlanarFrame p10(YV12P10, 6, 4), wrong(YUVA420, 6, 4);
    EXPECT_EQ(vp.ConvertTo8Bit(p10.frame, wrong.frame, 10), WrongFormat);
    PlanarFrame p010(P010, 6, 4), yv12(YV12, 6, 4);
    EXPECT_EQ(vp.ConvertTo8Bit(p010.frame, yv12.frame, 10), WrongFormat) << "P010 goes to NV12 only";
}

}  // namespace
}  // namespace orvex
