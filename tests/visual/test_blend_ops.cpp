// The blend and transform operations on host frames, against hand-made pictures and values worked
// out from the geometry.
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "frames.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/BlendOps.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::HostFrame;
using orvextest::LogCapture;
using orvextest::PlanarFrame;

const fxPointd kCentre{0.5, 0.5};

HostFrame Opaque(int w, int h, uint32_t seed) {
    HostFrame f = orvextest::RandomFrame(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f.image.at<cv::Vec4b>(y, x)[3] = 255;
    return f;
}

double MaxDiff(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF); }

// --- BlendAndTransform --------------------------------------------------------------------------------

TEST(BlendAndTransformCpu, UprightUnitTransformCopiesTheOverlayInPlace) {
    VisualProcess vp;
    HostFrame ovl = Opaque(8, 6, 1), bg = Opaque(16, 12, 2), out = orvextest::SolidFrame(16, 12, cv::Scalar::all(9));
    for (int sampler : {0, 1}) {
        ASSERT_EQ(vp.BlendAndTransform(*ovl.frame, kCentre, *bg.frame, kCentre, false, *out.frame, 0, 0, 1.0, 0,
                                       sampler, 0.0, 1.0, 1.0, 0.0, 0.0),
                  Ok);
        // The 8 x 6 overlay's centre on the 16 x 12 background's centre: it covers (4, 3)..(11, 8).
        EXPECT_EQ(MaxDiff(out.image(cv::Rect(4, 3, 8, 6)), ovl.image), 0) << "sampler " << sampler;
        cv::Mat rest = out.image.clone(), expect = bg.image.clone();
        rest(cv::Rect(4, 3, 8, 6)).setTo(0);
        expect(cv::Rect(4, 3, 8, 6)).setTo(0);
        EXPECT_EQ(MaxDiff(rest, expect), 0) << "background outside the overlay";
    }
}

TEST(BlendAndTransformCpu, HalfScaleHalvesAboutTheAnchor) {
    VisualProcess vp;
    // 2 x 2 blocks of one colour each: the half-size overlay shows one block per pixel.
    HostFrame ovl = orvextest::SolidFrame(16, 16, cv::Scalar::all(0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ovl.image.at<cv::Vec4b>(y, x) = cv::Vec4b(static_cast<uint8_t>(20 * (x / 2)), static_cast<uint8_t>(25 * (y / 2)), 99, 255);
    HostFrame bg = Opaque(16, 16, 3), out = orvextest::SolidFrame(16, 16, cv::Scalar::all(0));
    ASSERT_EQ(vp.BlendAndTransform(*ovl.frame, kCentre, *bg.frame, kCentre, false, *out.frame, 0, 0, 1.0, 0, 1, 0.0,
                                   0.5, 0.5, 0.0, 0.0),
              Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
            const cv::Vec4b want = inside ? cv::Vec4b(static_cast<uint8_t>(20 * (x - 4)), static_cast<uint8_t>(25 * (y - 4)), 99, 255)
                                          : bg.image.at<cv::Vec4b>(y, x);
            ASSERT_EQ(out.image.at<cv::Vec4b>(y, x), want) << "(" << x << "," << y << ")";
        }
}

TEST(BlendAndTransformCpu, TurnedOverlayFadesOverOnePixelAtItsBorders) {
    VisualProcess vp;
    HostFrame ovl = orvextest::SolidFrame(40, 40, cv::Scalar(200, 100, 50, 255));
    HostFrame out = orvextest::SolidFrame(80, 80, cv::Scalar::all(0));
    ASSERT_EQ(vp.BlendAndTransform(*ovl.frame, kCentre, *out.frame, kCentre, true, *out.frame, 0, 0, 1.0, 0, 1, 30.0,
                                   1.0, 1.0, 0.0, 0.0),
              Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(40, 40), cv::Vec4b(200, 100, 50, 255)) << "the middle is untouched";
    // Walking right from the centre along the row: the overlay edge lies 20 / cos 30 = 23.1 pixels
    // out; alpha falls from 255 to 0 over the last overlay pixel, never rising again.
    int first = -1, last = -1, previous = 255;
    for (int x = 40; x < 80; ++x) {
        const int a = out.image.at<cv::Vec4b>(40, x)[3];
        EXPECT_LE(a, previous) << x;
        if (a < 255 && first < 0) first = x;
        if (a > 0) last = x;
        previous = a;
    }
    EXPECT_NEAR(last - first + 1, 1.0 / std::cos(30.0 * CV_PI / 180.0), 1.0);
    EXPECT_NEAR(last, 40 + 20.0 / std::cos(30.0 * CV_PI / 180.0), 1.5);
}

TEST(BlendAndTransformCpu, QuarterTurnsMovePixelsWithoutMixingNeighbours) {
    // A square overlay turned by a multiple of 90 degrees about its centre onto a background of its
    // size: every pixel inside the one-pixel fade is an overlay pixel moved whole, none mixed with
    // a neighbour (a cosine a hair off 0 would blend 1/256 of one in).
    VisualProcess vp;
    HostFrame ovl = orvextest::RandomFrame(12, 12, 21);
    ovl.image.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 255; });
    const struct {
        double theta;
        int code;
    } turns[] = {{90, cv::ROTATE_90_COUNTERCLOCKWISE}, {180, cv::ROTATE_180}, {-90, cv::ROTATE_90_CLOCKWISE},
                 {450, cv::ROTATE_90_COUNTERCLOCKWISE}};
    for (const auto& t : turns) {
        HostFrame out = orvextest::SolidFrame(12, 12, cv::Scalar::all(0));
        ASSERT_EQ(vp.BlendAndTransform(*ovl.frame, kCentre, *out.frame, kCentre, true, *out.frame, 0, 0, 1.0, 0, 1,
                                       t.theta, 1.0, 1.0, 0.0, 0.0),
                  Ok);
        cv::Mat turned;
        cv::rotate(ovl.image, turned, t.code);
        const cv::Rect inner(1, 1, 10, 10);
        EXPECT_EQ(cv::norm(out.image(inner), turned(inner), cv::NORM_INF), 0) << "theta " << t.theta;
    }
}

TEST(BlendAndTransformCpu, TransparentCornersDoNotPunchThroughAnOpaqueBlackBackground) {
    VisualProcess vp;
    HostFrame ovl = orvextest::SolidFrame(20, 20, cv::Scalar(10, 200, 30, 255));
    HostFrame bg = orvextest::SolidFrame(40, 40, cv::Scalar(0, 0, 0, 255));
    HostFrame out = orvextest::SolidFrame(40, 40, cv::Scalar::all(0));
    ASSERT_EQ(vp.BlendAndTransform(*ovl.frame, kCentre, *bg.frame, kCentre, false, *out.frame, 0, 0, 1.0, 0, 1, 45.0,
                                   1.0, 1.0, 0.0, 0.0),
              Ok);
    std::vector<cv::Mat> ch;
    cv::split(out.image, ch);
    double lo = 0;
    cv::minMaxLoc(ch[3], &lo);
    EXPECT_EQ(lo, 255) << "every pixel stays opaque";
}

TEST(TransformPointCpu, TheAnchorLandsOnTheBackgroundCentre) {
    VisualProcess vp;
    struct Case {
        fxPointd anchor, centre;
        double theta, sx, sy, kx, ky;
    };
    const Case cases[] = {{{0.5, 0.5}, {0.5, 0.5}, 0, 1, 1, 0, 0},
                          {{0.25, 0.75}, {0.5, 0.5}, 30, 2, 1.5, 0.1, 0},
                          {{0.1, 0.2}, {0.3, 0.6}, -75, 0.5, 0.8, 0, 0.2},
                          {{0.5, 0.5}, {0.5, 0.5}, 10, 40, 40, 0, 0}};  // far larger than the background
    for (const Case& c : cases) {
        const fxPointd p = vp.TransformPoint(c.anchor, fxRectf{0, 0, 320, 180}, c.anchor, fxRectf{0, 0, 1920, 1080},
                                             c.centre, c.theta, c.sx, c.sy, c.kx, c.ky);
        EXPECT_NEAR(p.x, c.centre.x, 1e-9) << c.theta;
        EXPECT_NEAR(p.y, c.centre.y, 1e-9) << c.theta;
    }
    // Upright and unscaled, the overlay's top-left corner sits half an overlay left and up of the
    // centre: ((960 - 160) / 1920, (540 - 90) / 1080).
    const fxPointd corner = vp.TransformPoint(fxPointd{0, 0}, fxRectf{0, 0, 320, 180}, kCentre,
                                              fxRectf{0, 0, 1920, 1080}, kCentre, 0, 1, 1, 0, 0);
    EXPECT_NEAR(corner.x, 800.0 / 1920, 1e-12);
    EXPECT_NEAR(corner.y, 450.0 / 1080, 1e-12);
    LogCapture cap;
    const fxPointd same = vp.TransformPoint(fxPointd{0.3, 0.4}, fxRectf{0, 0, 320, 180}, kCentre,
                                            fxRectf{0, 0, 1920, 1080}, kCentre, 0, 0, 1, 0, 0);
    EXPECT_EQ(same.x, 0.3);
    EXPECT_TRUE(cap.Has("transform parameters are out of range!!", "orvex:TransformPoint", 6)) << cap.Dump();
}

// --- Transform ------------------------------------------------------------------------------------------

TEST(TransformCpu, LimitedRangeYV12StaysInsideItsRange) {
    VisualProcess vp;
    PlanarFrame in(YV12, 48, 32), out(YV12, 64, 48);
    in.FillRandom(5);  // 0..255 everywhere, far outside the video range
    for (double theta : {0.0, 30.0, 90.0}) {
        ASSERT_EQ(vp.Transform(in.frame, kCentre, out.frame, kCentre, 1, theta, 1.2, 0.9, 0, false, 0.1, 0.0), Ok);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                ASSERT_GE(out.Get(0, x, y), 16) << theta;
                ASSERT_LE(out.Get(0, x, y), 235) << theta;
            }
        for (int p : {1, 2})
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 32; ++x) {
                    ASSERT_GE(out.Get(p, x, y), 16);
                    ASSERT_LE(out.Get(p, x, y), 240);
                }
        EXPECT_TRUE(out.GuardsIntact());
    }
    // Full range: outside the picture luma is 0 and chroma the neutral 128.
    ASSERT_EQ(vp.Transform(in.frame, kCentre, out.frame, kCentre, 1, 0.0, 0.5, 0.5, 1, false, 0.0, 0.0), Ok);
    EXPECT_EQ(out.Get(0, 0, 0), 0);
    EXPECT_EQ(out.Get(1, 0, 0), 128);
}

TEST(TransformCpu, UprightYV12CopiesThePlanes) {
    VisualProcess vp;
    PlanarFrame in(YV12, 32, 16), out(YV12, 32, 16);
    in.Fill([](int p, int x, int y) { return 20 + p * 30 + x * 3 + y; });
    ASSERT_EQ(vp.Transform(in.frame, kCentre, out.frame, kCentre, 1, 0.0, 1.0, 1.0, 1, false, 0.0, 0.0), Ok);
    std::string where;
    EXPECT_EQ(in.MaxDiff(out, 0, &where), 0) << where;
}

TEST(TransformCpu, BGRAWarpsStraightIntoTheOutput) {
    VisualProcess vp;
    HostFrame in = Opaque(10, 10, 4), out = orvextest::SolidFrame(20, 20, cv::Scalar::all(7));
    ASSERT_EQ(vp.Transform(*in.frame, kCentre, *out.frame, fxPointd{0.25, 0.25}, 1, 0.0, 1.0, 1.0, 0, false, 0, 0), Ok);
    // The centre of the overlay on (5, 5): it covers (0, 0)..(9, 9); the rest is transparent.
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 10, 10)), in.image), 0);
    EXPECT_EQ(out.image.at<cv::Vec4b>(15, 15), cv::Vec4b(0, 0, 0, 0));
}

// --- Blend -----------------------------------------------------------------------------------------------

TEST(BlendCpu, OverlayRegionPastTheRightEdgeEndsAtTheEdge) {
    VisualProcess vp;
    // Columns 0..3 black, 4..7 grey ramps 80, 100, 120, 140.
    HostFrame ovl = orvextest::SolidFrame(8, 4, cv::Scalar(0, 0, 0, 255));
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x) {
            const uint8_t v = static_cast<uint8_t>(20 * x);
            ovl.image.at<cv::Vec4b>(y, x) = cv::Vec4b(v, v, v, 255);
        }
    HostFrame bg = Opaque(8, 4, 6), out = orvextest::SolidFrame(8, 4, cv::Scalar::all(0));
    // x 0.5 width 1 runs to 1.5: shortened to the right half, which then fills the background
    // region at twice its size. Output x reads overlay x = 4 + (x + 0.5) / 2.
    ASSERT_EQ(vp.Blend(*ovl.frame, fxRectf{0.5f, 0, 1, 1}, *bg.frame, fxRectf{0, 0, 1, 1}, *out.frame, 1, 0, 1.0, 0),
              Ok);
    const int want[8] = {60, 85, 95, 105, 115, 125, 135, 140};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(out.image.at<cv::Vec4b>(2, x)[0], want[x]) << x;
}

TEST(BlendCpu, BackgroundRegionPlacesTheOverlayAndKeepsTheRest) {
    VisualProcess vp;
    HostFrame ovl = Opaque(4, 4, 7), bg = Opaque(8, 8, 8), out = orvextest::SolidFrame(8, 8, cv::Scalar::all(0));
    ASSERT_EQ(vp.Blend(*ovl.frame, fxRectf{0, 0, 1, 1}, *bg.frame, fxRectf{0.5f, 0.5f, 0.5f, 0.5f}, *out.frame, 1, 0,
                       1.0, 0),
              Ok);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(4, 4, 4, 4)), ovl.image), 0);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 8, 4)), bg.image(cv::Rect(0, 0, 8, 4))), 0);
}

// --- BlendMask, solidColorBlend, Motion, overlay -----------------------------------------------------------

TEST(BlendMaskCpu, BackgroundTimesOverlayAlphaInsideTheRegion) {
    VisualProcess vp;
    HostFrame ovl = orvextest::SolidFrame(4, 4, cv::Scalar(1, 2, 3, 128));
    HostFrame bg = orvextest::SolidFrame(8, 8, cv::Scalar(200, 100, 50, 255)), out = orvextest::SolidFrame(8, 8, cv::Scalar::all(9));
    ASSERT_EQ(vp.BlendMask(*ovl.frame, fxRectf{0, 0, 1, 1}, *bg.frame, fxRectf{0, 0, 0.5f, 1}, *out.frame, 3), Ok);
    // 200 * 128 / 255 = 100.4, 100 * 128 / 255 = 50.2, 50 * 128 / 255 = 25.1, 255 * 128 / 255 = 128.
    EXPECT_EQ(out.image.at<cv::Vec4b>(5, 2), cv::Vec4b(100, 50, 25, 128));
    EXPECT_EQ(out.image.at<cv::Vec4b>(5, 6), cv::Vec4b(0, 0, 0, 0)) << "outside the region";
}

TEST(SolidColorBlendCpu, NormalOverAnOpaqueColour) {
    VisualProcess vp;
    HostFrame ovl = orvextest::SolidFrame(4, 4, cv::Scalar(255, 255, 255, 0));
    ovl.image.at<cv::Vec4b>(0, 0) = cv::Vec4b(255, 255, 255, 255);
    HostFrame out = orvextest::SolidFrame(4, 4, cv::Scalar::all(0));
    ASSERT_EQ(vp.solidColorBlend(*ovl.frame, *out.frame, 10, 20, 30, 255, 0, 1.0, 0), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(255, 255, 255, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(1, 1), cv::Vec4b(10, 20, 30, 255)) << "the colour shows through";
}

TEST(MotionCpu, SourceRegionOntoTheResultRegionOnTransparent) {
    VisualProcess vp;
    HostFrame in = Opaque(8, 8, 9), out = orvextest::SolidFrame(16, 8, cv::Scalar::all(5));
    // The right half of the input, pixel for pixel, onto the left quarter of the output.
    ASSERT_EQ(vp.Motion(*in.frame, *out.frame, fxRectf{0.5f, 0, 0.5f, 1}, fxRectf{0, 0, 0.25f, 1}), Ok);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 4, 8)), in.image(cv::Rect(4, 0, 4, 8))), 0);
    EXPECT_EQ(cv::countNonZero(out.image(cv::Rect(4, 0, 12, 8)).reshape(1)), 0);
}

TEST(OverlayCpu, OpaqueOverlayAtFullOpacityReplacesTheBackground) {
    VisualProcess vp;
    HostFrame ovl = Opaque(9, 7, 10), bg = Opaque(9, 7, 11), out = orvextest::SolidFrame(9, 7, cv::Scalar::all(0));
    ASSERT_EQ(vp.overlay(*bg.frame, *ovl.frame, *out.frame, 0, 1.0f, 0, 0), Ok);
    EXPECT_EQ(MaxDiff(out.image, ovl.image), 0);
    // In place: the background is the output.
    ASSERT_EQ(vp.overlay(*bg.frame, *ovl.frame, *bg.frame, 0, 1.0f, 1, 0), Ok);
    EXPECT_EQ(MaxDiff(bg.image, ovl.image), 0);
}

TEST(BaseOnBackFrameCpu, TypeOneCutsAWindowOfTheOverlaysAspect) {
    VisualProcess vp;
    // A 16 x 16 back frame whose rows are numbered; a 2:1 overlay takes its middle 16 x 8 rows
    // (4..11), stretched to the full height with the nearest sampler.
    HostFrame back = orvextest::SolidFrame(16, 16, cv::Scalar::all(0));
    for (int y = 0; y < 16; ++y) back.image.row(y).setTo(cv::Scalar::all(10 * y));
    HostFrame out = orvextest::SolidFrame(16, 16, cv::Scalar::all(0));
    ASSERT_EQ(vp.BlendAndTransform_BaseOnBackFrame(*back.frame, 32, 16, *out.frame, 0, 1), Ok);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(out.image.at<cv::Vec4b>(y, 3)[0], 10 * (4 + y / 2)) << y;
}

TEST(BaseOnBackFrameCpu, ResizesTheBackgroundThenPlacesTheOverlay) {
    VisualProcess vp;
    HostFrame ovl = Opaque(4, 4, 12), bg = orvextest::SolidFrame(8, 8, cv::Scalar(1, 2, 3, 255));
    HostFrame out = orvextest::SolidFrame(16, 16, cv::Scalar::all(0));
    ASSERT_EQ(vp.BlendAndTransform_BaseOnBackFrame(*ovl.frame, kCentre, *bg.frame, kCentre, false, *out.frame, 0, 0,
                                                   1.0, 0, 1, 0.0, 1.0, 1.0, 0.0, 0.0, 1, 0),
              Ok);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(6, 6, 4, 4)), ovl.image), 0);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(1, 2, 3, 255));
}

TEST(CenterPointAlignBlendCpu, PlacesTheRectangleByTranslation) {
    VisualProcess vp;
    HostFrame ovl = Opaque(10, 8, 13), bg = Opaque(20, 16, 14), out = orvextest::SolidFrame(20, 16, cv::Scalar::all(0));
    // Overlay pixels (2, 1)..(7, 5) onto background (9, 6)..(14, 10).
    ASSERT_EQ(vp.CenterPointAlignBlend(*ovl.frame, fxRectf{2, 1, 6, 5}, *bg.frame, fxRectf{8, 5, 0, 0}, false,
                                       *out.frame, 0, 1.0f, 0, 1.0f, 1.0f, false),
              Ok);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(9, 6, 6, 5)), ovl.image(cv::Rect(2, 1, 6, 5))), 0);
    cv::Mat rest = out.image.clone(), expect = bg.image.clone();
    rest(cv::Rect(9, 6, 6, 5)).setTo(0);
    expect(cv::Rect(9, 6, 6, 5)).setTo(0);
    EXPECT_EQ(MaxDiff(rest, expect), 0);

    // YV12: the rectangle mixed at the opacity, (first * op + second * (255 - op)) div 255.
    PlanarFrame yo(YV12, 8, 8), yb(YV12, 16, 16), yd(YV12, 16, 16);
    yo.Fill([](int p, int, int) { return p == 0 ? 200 : 90; });
    yb.Fill([](int p, int, int) { return p == 0 ? 50 : 160; });
    ASSERT_EQ(vp.CenterPointAlignBlend(yo.frame, fxRectf{0, 0, 8, 8}, yb.frame, fxRectf{4, 4, 0, 0}, false, yd.frame,
                                       0, 0.5f, 0, 0, 0, false),
              Ok);
    EXPECT_EQ(yd.Get(0, 6, 6), (200 * 127 + 50 * 128) / 255);
    EXPECT_EQ(yd.Get(0, 2, 2), 50);
    EXPECT_EQ(yd.Get(1, 3, 3), (90 * 127 + 160 * 128) / 255);
    EXPECT_EQ(yd.Get(2, 0, 0), 160);
    EXPECT_TRUE(yd.GuardsIntact());
}

// --- bad input -----------------------------------------------------------------------------------------

struct BadCase {
    const char* name;
    ResultCode want;
    const char* message;
    std::function<ResultCode(VisualProcess&, EffectFrame& ovl, EffectFrame& bg, EffectFrame& out)> call;
};

TEST(BlendOpsBadInput, RefusedWithTheirCodeAndLineAndTheOutputUntouched) {
    const BadCase cases[] = {
        {"BlendAndTransform: YV12 overlay", Failed, "input format is not rgba format!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             o.pixel_fmt = YV12;
             return vp.BlendAndTransform(o, kCentre, b, kCentre, false, d, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0);
         }},
        {"BlendAndTransform: zero scale", InvalidArgument, "transform parameters are out of range!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             return vp.BlendAndTransform(o, kCentre, b, kCentre, false, d, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0);
         }},
        {"BlendAndTransform: NaN theta", InvalidArgument, "transform parameters are out of range!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             return vp.BlendAndTransform(o, kCentre, b, kCentre, false, d, 0, 0, 1, 0, 1, std::nan(""), 1, 1, 0, 0);
         }},
        {"BlendAndTransform: background of another size", InvalidArgument, "input resolution is not equal output!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             b.width[0] = 8;
             return vp.BlendAndTransform(o, kCentre, b, kCentre, false, d, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0);
         }},
        {"BlendAndTransform: null overlay plane", InvalidArgument, "input or output is nullptr!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             o.data[0] = nullptr;
             return vp.BlendAndTransform(o, kCentre, b, kCentre, false, d, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0);
         }},
        {"Transform: formats differ", WrongFormat, "input format is not equal ouput format!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame&, EffectFrame& d) {
             d.pixel_fmt = BGRA64;
             return vp.Transform(o, kCentre, d, kCentre, 1, 0, 1, 1, 0, false, 0, 0);
         }},
        {"Transform: NV12", Failed, "format 1 is not supported!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame&, EffectFrame& d) {
             o.pixel_fmt = d.pixel_fmt = NV12;
             return vp.Transform(o, kCentre, d, kCentre, 1, 0, 1, 1, 0, false, 0, 0);
         }},
        {"Blend: empty region", InvalidArgument, "roi is empty!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             return vp.Blend(o, fxRectf{0, 0, 0, 1}, b, fxRectf{0, 0, 1, 1}, d, 1, 0, 1, 0);
         }},
        {"BlendMask: BGRA64", WrongFormat, "input format is not BGRA32 !!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             o.pixel_fmt = BGRA64;
             return vp.BlendMask(o, fxRectf{0, 0, 1, 1}, b, fxRectf{0, 0, 1, 1}, d, 0);
         }},
        {"BlendMask2: frames of other sizes", InvalidArgument, "input resolution is not equal output!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             return vp.BlendMask2(o, b, b, 3, d, 100);
         }},
        {"Motion: formats differ", WrongFormat, "input format is not equal output format !!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame&, EffectFrame& d) {
             d.pixel_fmt = YV12;
             return vp.Motion(o, d, fxRectf{0, 0, 1, 1}, fxRectf{0, 0, 1, 1});
         }},
        {"overlay: YV12 output", Failed, "input format is not rgba format!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             d.pixel_fmt = YV12;
             return vp.overlay(b, o, d, 0, 1, 0, 0);
         }},
        {"slot 37: sizes differ", InvalidArgument, "input resolution is not equal output!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame&, EffectFrame& d) {
             return vp.BlendAndTransform_BaseOnBackFrame(o, 16, 9, d, 1, 1);
         }},
        {"CenterPointAlignBlend: empty rectangle", InvalidArgument, "rectangle is empty!!",
         [](VisualProcess& vp, EffectFrame& o, EffectFrame& b, EffectFrame& d) {
             return vp.CenterPointAlignBlend(o, fxRectf{0, 0, 0, 4}, b, fxRectf{0, 0, 0, 0}, false, d, 0, 1, 0, 0, 0,
                                             false);
         }},
    };
    for (const BadCase& c : cases) {
        VisualProcess vp;
        HostFrame ovl = Opaque(8, 8, 1), bg = Opaque(16, 16, 2), out = orvextest::SolidFrame(16, 16, cv::Scalar::all(77));
        LogCapture cap;
        EXPECT_EQ(c.call(vp, *ovl.frame, *bg.frame, *out.frame), c.want) << c.name;
        EXPECT_TRUE(cap.Has(c.message)) << c.name << ": " << cap.Dump();
        EXPECT_EQ(cv::countNonZero(out.image.reshape(1) != 77), 0) << c.name << ": output written";
    }
}

// --- the four-channel blend ----------------------------------------------------------------------------

TEST(BlendFourChannel, HandWorkedPixels) {
    const float bg[4] = {0.2f, 0.4f, 0.8f, 1.0f}, ovl[4] = {0.6f, 0.6f, 0.6f, 0.5f};
    float out[4];
    // Mode 0, straight: colour o * t + (1 - t) bg with t = 0.5; alpha o.w + (1 - o.w) bg.w = 1.
    BlendFourChannel(bg, ovl, 0.5f, 1.0f, 0, 1.0f, 0, out);
    EXPECT_NEAR(out[0], 0.4f, 1e-6);
    EXPECT_NEAR(out[2], 0.7f, 1e-6);
    EXPECT_NEAR(out[3], 1.0f, 1e-6);
    // Mode 2 (multiply) on colour, alpha through the common step: t + it bg.w = 1.
    BlendFourChannel(bg, ovl, 0.5f, 1.0f, 2, 1.0f, 0, out);
    EXPECT_NEAR(out[1], 0.4f * 0.6f * 0.5f + 0.5f * 0.4f, 1e-6);
    EXPECT_NEAR(out[3], 1.0f, 1e-6);
    // Default (18) over a transparent background with a transparent overlay: no alpha, no colour
    // to divide, so transparent black rather than a division by zero.
    const float none[4] = {0.3f, 0.3f, 0.3f, 0.0f};
    BlendFourChannel(none, none, 0.0f, 1.0f, 18, 1.0f, 0, out);
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace orvex
