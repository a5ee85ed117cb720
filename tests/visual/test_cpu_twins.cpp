// The CPU forms of the HDR transfers, the masked mixes, the gradient and the 16-bit frame
// utilities against values worked out independently (published curves, hand-computed pixels);
// tests/opencl compares the same routines with their kernels.
#include <cmath>

#include <gtest/gtest.h>

#include "planar_frames.h"
#include "visual/HdrCurves.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::PlanarFrame;

// Sample s (B, G, R, A bytes or words in order) of pixel x in row y.
int At(const PlanarFrame& f, int x, int c, int y = 0) { return f.Get(0, x * 4 + c, y); }

// ST 2084 inverse EOTF in double, from the standard's constants.
double PqCode(double nits) {
    const double y = std::pow(nits / 10000.0, 2610.0 / 16384.0);
    return std::pow((3424.0 / 4096 + 2413.0 / 128 * y) / (1 + 2392.0 / 128 * y), 2523.0 / 32);
}

TEST(HdrCpu, CurvesAreDoublePrecision) {
    // PQ of 100 cd/m2 (published: 0.508078421517399); the kernels' float curves miss it by 6e-7.
    // The way back keeps the kernels' float exponents 1/m1 and 1/m2 (5e-10 off here; float: 3e-8).
    EXPECT_NEAR(hdr64::PQ_INV_EOTF(0.01), 0.508078421517399, 1e-12);
    EXPECT_NEAR(hdr64::PQ_EOTF(0.508078421517399), 0.01, 1e-9);
}

TEST(HdrCpu, HLGToPQOfGreyIsThePQCodeOfItsDisplayLight) {
    // 16-bit grey at HLG 0.5 (scene light 1/12): a 1000 cd/m2 display shows 1000 (1/12)^1.2 cd/m2.
    PlanarFrame in(BGRA64, 3, 1), out(BGRA64, 3, 1);
    in.Fill([](int, int s, int) { return s % 4 == 3 ? 65535 : 32768; });
    VisualProcess vp;
    ASSERT_EQ(vp.HLGToPQ(in.frame, out.frame), Ok);
    const double scene = std::pow(32768 / 65535.0, 2) / 3;
    const double code = PqCode(1000.0 * std::pow(scene, 1.2));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(At(out, 1, c), code * 65535, 1.0) << c;
    EXPECT_EQ(At(out, 2, 3), 65535) << "alpha kept";
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(HdrCpu, PQToHLGAndBackKeepsGreysAtSixteenBits) {
    // Greys below the 1000 cd/m2 peak survive the round trip through HLG to a few codes of 65535.
    PlanarFrame in(BGRA64, 64, 1), hlg(BGRA64, 64, 1), back(BGRA64, 64, 1);
    in.Fill([](int, int s, int) { return s % 4 == 3 ? 40000 : static_cast<int>(s / 4 * 0.75 * 65535 / 63); });
    VisualProcess vp;
    ASSERT_EQ(vp.PQToHLG(in.frame, hlg.frame), Ok);
    ASSERT_EQ(vp.HLGToPQ(hlg.frame, back.frame), Ok);
    EXPECT_LE(back.MaxDiff(in), 4);
    // In place too: one frame as input and output.
    ASSERT_EQ(vp.PQToHLG(in.frame, in.frame), Ok);
    EXPECT_EQ(in.MaxDiff(hlg), 0);
}

TEST(HdrCpu, SDR2HDRMapsBlackToZeroAndPremultiplies) {
    PlanarFrame in(BGRA32, 256, 2), out(BGRA32, 256, 2);
    in.Fill([](int, int s, int y) { return s % 4 == 3 ? (y == 0 ? 255 : 128) : s / 4; });
    VisualProcess vp;
    for (int pq : {1, 0}) {
        ASSERT_EQ(vp.SDR2HDR(in.frame, out.frame, pq, 2), Ok);
        EXPECT_EQ(At(out, 0, 1), 0) << "black";
        for (int x = 1; x < 256; ++x) EXPECT_GE(At(out, x, 1), At(out, x - 1, 1)) << x;
        // SDR white (203 cd/m2 reference) sits below the 1000 cd/m2 peak.
        EXPECT_LT(At(out, 255, 1), 255);
        EXPECT_GT(At(out, 255, 1), 128);
        EXPECT_NEAR(At(out, 255, 1, 1), At(out, 255, 1) * 128 / 255.0, 1.0) << "half alpha halves the colour";
    }
}

TEST(MaskMixCpu, BlendMask2IsTheAlphaMixAndConstantZeroGivesTheSecond) {
    PlanarFrame a(BGRA64, 7, 3), b(BGRA64, 7, 3), m(BGRA64, 7, 3), out(BGRA64, 7, 3);
    a.FillRandom(1);
    b.FillRandom(2);
    m.FillRandom(3);
    VisualProcess vp;
    ASSERT_EQ(vp.BlendMask2(a.frame, b.frame, m.frame, 3, out.frame, 100), Ok);
    for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 4; ++c) {
            const double k = At(m, x, 3, 1) / 65535.0;
            EXPECT_NEAR(At(out, x, c, 1), At(a, x, c, 1) * k + At(b, x, c, 1) * (1 - k), 1.0);
        }
    ASSERT_EQ(vp.BlendMask2(a.frame, b.frame, m.frame, 0, out.frame, 0), Ok);
    EXPECT_EQ(out.MaxDiff(b), 0);
}

TEST(MaskMixCpu, GradientTypeZeroIsALeftToRightRamp) {
    PlanarFrame out(BGRA32, 64, 3);
    GradientData g{};
    g.count = 2;
    g.colors[0] = 0xFF000000;  // opaque black
    g.colors[1] = 0xFFFFFFFF;  // opaque white
    g.precent[1] = 1;
    VisualProcess vp;
    ASSERT_EQ(vp.Do_Gradient(out.frame, 0, g), Ok);
    for (int x = 0; x < 64; ++x) {
        EXPECT_NEAR(At(out, x, 1, 2), (x + 0.5) / 64 * 255, 0.5) << x;
        EXPECT_EQ(At(out, x, 3, 2), 255);
    }
    ASSERT_EQ(vp.Do_Gradient(out.frame, 7, g), Ok);
    EXPECT_EQ(At(out, 5, 2), 255) << "unknown type: opaque red";
    EXPECT_EQ(At(out, 5, 0), 0);
}

TEST(MaskMixCpu, MotionAnimationIdentityCopiesAndZeroScaleClears) {
    PlanarFrame in(BGRA64, 17, 9), out(BGRA64, 17, 9);
    in.FillRandom(4);
    MotionAnimationParam p{1, 1, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 17, 9, 0, 0};
    VisualProcess vp;
    ASSERT_EQ(vp.Motion_Animation(in.frame, out.frame, p), Ok);
    EXPECT_LE(in.MaxDiff(out), 1);
    p.scale_y = 0;
    ASSERT_EQ(vp.Motion_Animation(in.frame, out.frame, p), Ok);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(At(out, 8, c, 4), 0);
}

TEST(FrameUtils16, PremultiplyAndChannelControlKeepSixteenBits) {
    // A colour that 8 bits cannot hold: 0x1234 at alpha 0x8000.
    PlanarFrame in(BGRA64, 3, 1), out(BGRA64, 3, 1);
    in.Fill([](int, int s, int) { return s % 4 == 3 ? 0x8000 : 0x1234; });
    VisualProcess vp;
    ASSERT_EQ(vp.Premultiply(in.frame, out.frame, 1, false), Ok);
    EXPECT_EQ(At(out, 1, 0), static_cast<int>(std::nearbyint(0x1234 * (0x8000 / 65535.0))));
    EXPECT_EQ(At(out, 1, 3), 0x8000);
    ASSERT_EQ(vp.Premultiply(in.frame, out.frame, 0, false), Ok);
    EXPECT_EQ(At(out, 1, 2), 0x1234);
    EXPECT_EQ(At(out, 1, 3), 65535);
    // Alpha = the background's green (0x4000, uniform so the bilinear sample is exact) x 0x8000.
    PlanarFrame bg(BGRA64, 3, 1);
    bg.Fill([](int, int s, int) { return s % 4 == 1 ? 0x4000 : 0xFFFF; });
    ASSERT_EQ(vp.channelControl(bg.frame, in.frame, out.frame, 1), Ok);
    EXPECT_EQ(At(out, 2, 0), 0x1234);
    EXPECT_EQ(At(out, 2, 3), static_cast<int>(std::nearbyint(0x4000 / 65535.0 * 0x8000)));
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(FrameUtils16, BlendAndTransformPlacesASixteenBitOverlayExactly) {
    // Upright, unscaled, anchor on the centre: the opaque overlay replaces the background where it
    // lands, word for word.
    PlanarFrame ovl(BGRA64, 5, 3), bg(BGRA64, 9, 7), out(BGRA64, 9, 7);
    ovl.FillRandom(5);
    ovl.Fill([&](int, int s, int y) { return s % 4 == 3 ? 65535 : ovl.Get(0, s, y); });
    bg.FillRandom(6);
    VisualProcess vp;
    ASSERT_EQ(vp.BlendAndTransform(ovl.frame, {0.5, 0.5}, bg.frame, {0.5, 0.5}, false, out.frame, 0, 0, 1.0, 0, 1, 0,
                                   1, 1, 0, 0),
              Ok);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(At(out, x + 2, c, y + 2), At(ovl, x, c, y)) << x << "," << y;
    EXPECT_EQ(At(out, 0, 1, 0), At(bg, 0, 1, 0)) << "outside the overlay";
    EXPECT_TRUE(out.GuardsIntact());
}

}  // namespace
}  // namespace orvex
