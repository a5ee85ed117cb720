// Geometry and distortion effects on the CPU: parameters and hand-computed pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <string>

#include "effects/EffectMath.h"
#include "effects/geometry/DistortionEffects.h"
#include "effects/geometry/GeometryEffects.h"
#include "effect_helpers.h"
#include "frames.h"
#include "effects/Manifest.h"

using namespace orvex;
using orvextest::HostFrame;
using orvextest::RandomFrame;
using orvextest::SolidFrame;

namespace {

using namespace orvextest;

const cv::Vec4b kClear(0, 0, 0, 0);

}  // namespace

// --- parameters ------------------------------------------------------------------------------------------

struct ParamCase {
    const char* effect;
    const char* name;
    EffectParamType type;
    double value;
    ResultCode result;
    double stored;  // the parameter's value afterwards
};

class GeometryParams : public testing::TestWithParam<ParamCase> {};

TEST_P(GeometryParams, StoreOrSubstitute) {
    const ParamCase& c = GetParam();
    std::unique_ptr<EffectSurface> e(FindBuiltinEffect(c.effect)->create());
    EffectParamValue v = c.type == ParamFloat ? EffectParamValue::Float(static_cast<float>(c.value))
                         : c.type == ParamInt ? EffectParamValue::Int(static_cast<int32_t>(c.value))
                                              : EffectParamValue::Bool(c.value != 0);
    EXPECT_EQ(e->SetParam(c.name, c.type, v), c.result);
    if (c.result != NotFound) {
        EXPECT_NEAR(Stored(*e, c.name), c.stored, 1e-6);  // stored as float
    }
}

const ParamCase kParamCases[] = {
    {"video/effect/offset", "ShiftCenterToX", ParamFloat, 3.5, Ok, 3.5},  // no range
    {"video/effect/offset", "BlendWithOrigin", ParamFloat, 100, Ok, 100},
    {"video/effect/offset", "BlendWithOrigin", ParamFloat, 100.5, InvalidArgument, 0},
    {"video/effect/offset", "BlendWithOrigin", ParamInt, 5, WrongFormat, 0},
    {"video/effect/transform", "Opacity", ParamFloat, 101, InvalidArgument, 0},  // substitute is 0, not 100
    {"video/effect/transform", "Opacity", ParamFloat, -1, InvalidArgument, 0},
    {"video/effect/transform", "Scale_x", ParamFloat, 1e-10, Ok, 1},  // "zero" scale stored as 1
    {"video/effect/transform", "Scale_y", ParamFloat, -250, Ok, -250},
    {"video/effect/transform", "ScaleType", ParamInt, 0, Ok, 3},
    {"video/effect/transform", "ScaleType", ParamInt, 1, Ok, 1},
    {"video/effect/transform", "ScaleType", ParamInt, 2, Ok, 2},
    {"video/effect/transform", "ScaleType", ParamInt, 3, Ok, 0},
    {"video/effect/transform", "ScaleType", ParamInt, -7, Ok, 0},
    {"video/effect/motion", "Scale_x", ParamFloat, 5e-7, Ok, 100},  // "zero" scale stored as 100
    {"video/effect/motion", "Scale_y", ParamFloat, 0.5, Ok, 0.5},
    {"video/effect/motion", "ScaleType", ParamInt, 1, NotFound, 0},  // motion has no scale type
    {"video/effect/crop", "Left", ParamFloat, 100.01, InvalidArgument, 0},
    {"video/effect/crop", "Zoom", ParamBool, 1, Ok, 1},
    {"video/effect/crop", "EdgeFeather", ParamInt, 12, Ok, 12},
    {"video/effect/edge_feather", "Amount", ParamInt, 101, InvalidArgument, 20},
    {"video/effect/edge_feather", "Amount", ParamInt, 0, Ok, 0},
    {"video/effect/corner_pin", "Lower_Right_y", ParamFloat, 1.4, Ok, 1.4},
    {"video/effect/mirror", "ReflectAngle", ParamFloat, -30, Ok, -30},
    {"video/effect/spherize", "amount", ParamFloat, 0, Ok, 0},
    {"video/effect/twirl", "radius", ParamFloat, 12.5, Ok, 12.5},
    {"video/effect/lens_distortion", "quad_a", ParamFloat, -100, Ok, -100},
    {"video/effect/lens_distortion", "quad_a", ParamFloat, 150, Ok, 0},  // substituted, still 0
    {"video/effect/lens_distortion", "brighten", ParamFloat, -101, Ok, 0},
    {"video/effect/lens_distortion", "background_g", ParamInt, 200, Ok, 200},
    {"video/effect/lens_distortion", "alpha", ParamBool, 1, Ok, 1},
    {"video/effect/magnify", "Magnification", ParamFloat, 99, InvalidArgument, 100},
    {"video/effect/magnify", "Magnification", ParamFloat, 1000, Ok, 1000},
    {"video/effect/magnify", "Size", ParamFloat, 0.5, InvalidArgument, 100},
    {"video/effect/magnify", "CenterX", ParamFloat, 1.5, InvalidArgument, 0.5},
    {"video/effect/magnify", "Shape", ParamInt, 1, Ok, 1},
};

INSTANTIATE_TEST_SUITE_P(Table, GeometryParams, testing::ValuesIn(kParamCases));

TEST(GeometryParams, FlipsKnowNoParameter) {
    VideoEffectHorizontalFilp h;
    VideoEffectVerticalFilp v;
    for (const char* name : {"Amount", "", "anything"}) {
        EXPECT_EQ(h.SetParam(name, ParamFloat, EffectParamValue::Float(1)), NotFound);
        EXPECT_EQ(v.SetParam(name, ParamInt, EffectParamValue::Int(1)), NotFound);
    }
}

TEST(GeometryParams, IdentityReports) {
    VideoEffectMotion motion;
    EXPECT_TRUE(motion.IsIdentity());
    SetF(motion, "Rotation", 5e-7f);  // within 1e-6 of the default
    EXPECT_TRUE(motion.IsIdentity());
    SetF(motion, "Rotation", 1);
    EXPECT_FALSE(motion.IsIdentity());

    VideoEffectSpherize spherize;
    EXPECT_FALSE(spherize.IsIdentity());
    SetF(spherize, "amount", 0);
    EXPECT_TRUE(spherize.IsIdentity());

    VideoEffectEdgeFeather feather;
    EXPECT_FALSE(feather.IsIdentity());
    SetI(feather, "Amount", 0);
    EXPECT_TRUE(feather.IsIdentity());

    VideoEffectTransform transform;
    EXPECT_FALSE(transform.IsIdentity());
}

// --- offset ------------------------------------------------------------------------------------------------

TEST(Offset, HalfAndHalfIsTheIdentityOnEvenSizes) {
    VideoEffectOffset e;
    SetF(e, "ShiftCenterToX", 0.5f);
    SetF(e, "ShiftCenterToY", 0.5f);
    HostFrame in = RandomFrame(64, 48, 3), out = SolidFrame(64, 48, cv::Scalar::all(9));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "offset 0.5/0.5");
}

TEST(Offset, AQuarterMovesContentLeftWithWrapAround) {
    // dx = 50 - nearest(100 x 0.25) = 25: out(x) = in(x + 25), the first 25 columns reappearing on
    // the right; Y = 0.5 on an even height keeps the rows.
    VideoEffectOffset e;
    SetF(e, "ShiftCenterToY", 0.5f);
    HostFrame in = RandomFrame(100, 20, 4), out = SolidFrame(100, 20, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(At(out, x, y), At(in, (x + 25) % 100, y)) << x << "," << y;
}

TEST(Offset, BlendMixesTheColourBackHalvesAwayFromZero) {
    // BlendWithOrigin 50 on a frame whose columns alternate 10 and 21 (alpha 40 and 90), shifted by
    // one column: colour nearest(10 x 0.5 + 21 x 0.5) = nearest(15.5) = 16; alpha the shifted one.
    VideoEffectOffset e;
    SetF(e, "ShiftCenterToY", 0.5f);
    SetF(e, "ShiftCenterToX", 0.5f - 1.0f / 8);  // dx = 4 - nearest(8 x 0.375) = 4 - 3 = 1
    SetF(e, "BlendWithOrigin", 50);
    HostFrame in = SolidFrame(8, 2, cv::Scalar::all(0));
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 2; ++y)
            in.image.at<cv::Vec4b>(y, x) = x % 2 ? cv::Vec4b(21, 21, 21, 90) : cv::Vec4b(10, 10, 10, 40);
    HostFrame out = SolidFrame(8, 2, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(16, 16, 16, 90));
    EXPECT_EQ(At(out, 1, 1), cv::Vec4b(16, 16, 16, 40));
}

// --- transform and motion --------------------------------------------------------------------------------

TEST(Transform, Rotation90CentresTheTurnedPictureWithTransparentCorners) {
    // 60 x 40, rotation 90 about the centre (30, 20): forward x' = 50 - y, y' = x - 10, so output
    // column x' shows input row 50 - x' for x' in 11..50 and nothing (transparent) elsewhere.
    VideoEffectTransform e;
    SetF(e, "Rotation", 90);
    HostFrame in = RandomFrame(60, 40, 5), out = SolidFrame(60, 40, cv::Scalar::all(77));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            const cv::Vec4b expected = (x >= 11 && x <= 50) ? At(in, y + 10, 50 - x) : kClear;
            ASSERT_EQ(At(out, x, y), expected) << x << "," << y;
        }
    }
    fxRectf r;
    ASSERT_TRUE(e.GetContentRect(&r));
    EXPECT_NEAR(r.x, 10.0 / 60, 1e-6);
    EXPECT_NEAR(r.y, 0, 1e-6);
    EXPECT_NEAR(r.width, 40.0 / 60, 1e-6);
    EXPECT_NEAR(r.height, 1, 1e-6);
}

TEST(Transform, ContentRectIsTheWholeFrameFromConstruction) {
    VideoEffectTransform e;
    fxRectf r{9, 9, 9, 9};
    ASSERT_TRUE(e.GetContentRect(&r));
    EXPECT_EQ(r.x, 0.f);
    EXPECT_EQ(r.y, 0.f);
    EXPECT_EQ(r.width, 1.f);
    EXPECT_EQ(r.height, 1.f);
}

TEST(Transform, OpacityFiftyHalvesAllFourBytesAndHundredKeepsThem) {
    VideoEffectTransform e;
    HostFrame in = SolidFrame(9, 7, cv::Scalar(200, 101, 7, 255)), out = SolidFrame(9, 7, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 4, 3), cv::Vec4b(200, 101, 7, 255));
    SetF(e, "Opacity", 50);
    ASSERT_EQ(Render(e, in, out), Ok);
    // 100, 50.5 -> 51, 3.5 -> 4, 127.5 -> 128: halves away from zero.
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(At(out, x, y), cv::Vec4b(100, 51, 4, 128)) << x << "," << y;
}

TEST(Transform, MatricesAreCachedUntilAnInputChanges) {
    VideoEffectTransform e;
    const AffineWarpEffect::Matrices* first = &e.WarpMatrices(40, 30, 40, 30);
    const double m2 = first->forward[2];
    EXPECT_EQ(&e.WarpMatrices(40, 30, 40, 30), first);
    SetF(e, "Anchor_x", 0.3f);  // takes part in the change test only
    const AffineWarpEffect::Matrices& again = e.WarpMatrices(40, 30, 40, 30);
    EXPECT_DOUBLE_EQ(again.forward[2], m2);
    // A larger output centres the picture: (W - w)/2 joins the translation.
    EXPECT_DOUBLE_EQ(e.WarpMatrices(40, 30, 50, 30).forward[2], m2 + 5);
}

TEST(Motion, DefaultsLeaveOddFramesUnchanged) {
    // On odd sizes the anchor (nearest(W/2)) and the centre (floor(w/2)) differ by one pixel; the
    // two translations cancel.
    VideoEffectMotion e;
    HostFrame in = RandomFrame(97, 61, 6), out = SolidFrame(97, 61, cv::Scalar::all(3));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "motion defaults");
}

TEST(Motion, ScaleTwoAboutTheCentre) {
    // 40 x 30, scale 200: input (x, y) goes to (2(x - 20) + 20, 2(y - 15) + 15). Output (22, 17)
    // reads input (21, 16) exactly; output (21, 15) lies halfway between input (20, 15) and (21, 15):
    // weights 16/32 each, (a + b + 1) >> 1.
    VideoEffectMotion e;
    SetF(e, "Scale_x", 200);
    SetF(e, "Scale_y", 200);
    HostFrame in = RandomFrame(40, 30, 7), out = SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 15), At(in, 20, 15));
    EXPECT_EQ(At(out, 22, 17), At(in, 21, 16));
    const cv::Vec4b a = At(in, 20, 15), b = At(in, 21, 15);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(At(out, 21, 15)[c], (a[c] + b[c] + 1) >> 1) << c;
}

// --- crop ----------------------------------------------------------------------------------------------

TEST(Crop, KeepsTheRectangleOnTransparentBlack) {
    // 100 x 50: left trunc(10.4 + 0.5) = 10, top trunc(10 + 0.5) = 10, right 100 - trunc(25.5) = 75,
    // bottom 50 - trunc(0.5 x 0.01 x 50 + 0.5) = 50 - 0 = 50.
    VideoEffectCrop e;
    SetF(e, "Left", 10.4f);
    SetF(e, "Top", 20);
    SetF(e, "Right", 25);
    SetF(e, "Bottom", 0.5f);
    EXPECT_EQ(e.KeptRect(100, 50), cv::Rect(10, 10, 65, 40));
    HostFrame in = RandomFrame(100, 50, 8), out = SolidFrame(100, 50, cv::Scalar::all(66));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool kept = x >= 10 && x < 75 && y >= 10;
            ASSERT_EQ(At(out, x, y), kept ? At(in, x, y) : kClear) << x << "," << y;
        }
}

TEST(Crop, NothingKeptIsTransparent) {
    VideoEffectCrop e;
    SetF(e, "Left", 50);
    SetF(e, "Right", 50);
    HostFrame in = RandomFrame(20, 10, 9), out = SolidFrame(20, 10, cv::Scalar::all(66));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(cv::countNonZero(out.image.reshape(1)), 0);
}

TEST(Crop, FeatherIsTheBoxFilteredMask) {
    // 40 x 40, kept [10, 30) on both axes, feather e = 4: the mask is 255 on [6, 34) box-filtered
    // 4 x 4 (window [x - 2, x + 2)). Deep inside the mean is 255; at column 6 two of four window
    // columns are inside, so a row-centre pixel has mask (8 x 510 + 16) div 32 = 128 and colour
    // trunc(200 x 128 / 255) = 100; beyond column 3 nothing is covered. Alpha is the input's.
    VideoEffectCrop e;
    for (const char* side : {"Left", "Top", "Right", "Bottom"}) SetF(e, side, 25);
    SetI(e, "EdgeFeather", 4);
    HostFrame in = SolidFrame(40, 40, cv::Scalar(200, 200, 200, 90)), out = SolidFrame(40, 40, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 20), cv::Vec4b(200, 200, 200, 90));
    EXPECT_EQ(At(out, 6, 20), cv::Vec4b(100, 100, 100, 90));
    EXPECT_EQ(At(out, 3, 20), cv::Vec4b(0, 0, 0, 90));
}

TEST(Crop, ZoomFillsTheFrameWithTheKeptRectangle) {
    // A kept rectangle of one colour fills the whole frame with that colour.
    VideoEffectCrop e;
    SetF(e, "Left", 25);
    SetF(e, "Right", 25);
    SetF(e, "Top", 20);
    SetF(e, "Bottom", 40);
    SetB(e, "Zoom", true);
    HostFrame in = SolidFrame(40, 50, cv::Scalar(1, 2, 3, 4));
    in.image(cv::Rect(10, 10, 20, 20)).setTo(cv::Scalar(50, 60, 70, 80));
    HostFrame out = SolidFrame(40, 50, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(At(out, x, y), cv::Vec4b(50, 60, 70, 80)) << x << "," << y;
}

// --- edge feather -------------------------------------------------------------------------------------

TEST(EdgeFeather, AmountZeroKeepsColourAndCopiesAlpha) {
    VideoEffectEdgeFeather e;
    SetI(e, "Amount", 0);
    HostFrame in = RandomFrame(31, 17, 10), out = SolidFrame(31, 17, cv::Scalar::all(77));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x) {
            const cv::Vec4b s = At(in, x, y);
            ASSERT_EQ(At(out, x, y), s) << x << "," << y;
        }
}

TEST(EdgeFeather, DefaultFeathersATwentiethOfTheShorterSide) {
    // 100 x 60, Amount 20: f = trunc(0.2 x 60 x 0.2) = 2, m = 1; the mask is 255 on [1, 99) x
    // [1, 59) filtered 2 x 2 (window [x - 1, x + 1), reflect-101). Column 0 covers -1 (= 1) and 0,
    // column 1 covers 0 and 1: 1 of 2 each, 255 / 2 = 128 (rounded); the corner 1 of 4, 64; from
    // column 2 on 255.
    VideoEffectEdgeFeather e;
    HostFrame in = SolidFrame(100, 60, cv::Scalar(255, 255, 255, 30)), out = SolidFrame(100, 60, cv::Scalar::all(7));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 30), cv::Vec4b(128, 128, 128, 30));
    EXPECT_EQ(At(out, 1, 30), cv::Vec4b(128, 128, 128, 30));
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(64, 64, 64, 30));
    EXPECT_EQ(At(out, 2, 30), cv::Vec4b(255, 255, 255, 30));
}

TEST(EdgeFeather, HandComputedMaskAtTheEdge) {
    // 100 x 100, Amount 100: f = trunc(100 x 0.2) = 20, m = 10; the mask is 255 on [10, 90)
    // filtered 20 x 20 (window [x - 10, x + 10), reflect-101). Column 0 covers only the reflection
    // of -10 (= 10): 1 of 20; row 50 covers 20 of 20. Mask = (20 x 510 + 400) div 800 = 13, colour
    // 255 x 13 / 255 = 13. At the centre the mask is 255.
    VideoEffectEdgeFeather e;
    SetI(e, "Amount", 100);
    HostFrame in = SolidFrame(100, 100, cv::Scalar(255, 255, 255, 30)), out = SolidFrame(100, 100, cv::Scalar::all(7));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 50), cv::Vec4b(13, 13, 13, 30));
    EXPECT_EQ(At(out, 50, 50), cv::Vec4b(255, 255, 255, 30));
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(1, 1, 1, 30));  // (1 x 510 + 400) div 800 = 1
}

// --- flips -----------------------------------------------------------------------------------------------

TEST(Flip, MirrorsWholePixels) {
    HostFrame in = RandomFrame(13, 9, 11);
    HostFrame h = SolidFrame(13, 9, cv::Scalar::all(0)), v = SolidFrame(13, 9, cv::Scalar::all(0));
    VideoEffectHorizontalFilp hf;
    VideoEffectVerticalFilp vf;
    ASSERT_EQ(Render(hf, in, h), Ok);
    ASSERT_EQ(Render(vf, in, v), Ok);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) {
            ASSERT_EQ(At(h, x, y), At(in, 12 - x, y));
            ASSERT_EQ(At(v, x, y), At(in, x, 8 - y));
        }
}

// --- corner pin ------------------------------------------------------------------------------------------

TEST(CornerPin, DefaultCornersLeaveTheFrame) {
    VideoEffectCornerPin e;
    HostFrame in = RandomFrame(37, 23, 12), out = SolidFrame(37, 23, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "corner pin defaults");
}

TEST(CornerPin, RightCornersAtHalfWidthSqueezeByTwo) {
    // 101 x 40 with the right corners at x = 0.5: destination corners (0, 0), (50, 0), (0, 39),
    // (50, 39), so output column x reads input column 2x, and columns past 50 read outside (0).
    VideoEffectCornerPin e;
    SetF(e, "Upper_Right_x", 0.5f);
    SetF(e, "Lower_Right_x", 0.5f);
    HostFrame in = RandomFrame(101, 40, 13), out = SolidFrame(101, 40, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 101; ++x) ASSERT_EQ(At(out, x, y), x <= 50 ? At(in, 2 * x, y) : kClear) << x << "," << y;
}

// --- mirror ----------------------------------------------------------------------------------------------

TEST(Mirror, AngleZeroReflectsAcrossTheVerticalLineThroughTheCentre) {
    // m = tan(90 degrees with pi as 3.14159265359) is about -9.6e11: the line is vertical through
    // cx = 20 and the pixels with y - m x - b > 0 are those right of it (x > 20). They show the left
    // half mirrored, in(40 - x, y), except on the last row, which counts as outside (0). On the
    // line itself (x = 20) the pixels below cy = 5 also pass the test and read themselves (0 on the
    // last row). The rest keeps its own pixels.
    VideoEffectMirror e;
    HostFrame in = RandomFrame(40, 10, 14), out = SolidFrame(40, 10, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) {
            cv::Vec4b expected = At(in, x, y);
            if (x > 20 || (x == 20 && y > 5)) expected = y < 9 ? At(in, 40 - x, y) : kClear;
            ASSERT_EQ(At(out, x, y), expected) << x << "," << y;
        }
}

// --- spherize, twirl -------------------------------------------------------------------------------------

TEST(Spherize, AmountZeroCopiesTheFrame) {
    VideoEffectSpherize e;
    SetF(e, "amount", 0);
    HostFrame in = RandomFrame(29, 31, 15), out = SolidFrame(29, 31, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "spherize 0");
}

TEST(Spherize, TheCentreStaysAndPixelsOutsideTheRadiusAreKept) {
    VideoEffectSpherize e;
    SetF(e, "amount", 10);
    HostFrame in = RandomFrame(40, 40, 16), out = SolidFrame(40, 40, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 20), At(in, 20, 20));  // r = 0 reads the centre itself
    EXPECT_EQ(At(out, 20, 5), At(in, 20, 5));    // r = 15 > 10
    EXPECT_EQ(At(out, 3, 3), At(in, 3, 3));
}

TEST(Spherize, FastInverseSquareRootConstant) {
    // One Newton step from the 0x5f375a86 guess: within 0.2% of 1/sqrt(d).
    for (float d : {1.f, 2.f, 10.f, 1234.5f, 1e6f}) EXPECT_NEAR(FastInvSqrt(d) * std::sqrt(d), 1.0, 2e-3) << d;
    // d = 4: y0 has the bits 1597463174 - (0x40800000 >> 1) = 0x3ef75a86 = 0.4831133, and
    // y0 (1.5 - 2 y0^2) = 0.4991541.
    EXPECT_NEAR(FastInvSqrt(4.f), 0.4991541, 1e-6);
}

TEST(Twirl, RadiusZeroAndOutsideTheRadiusKeepPixels) {
    VideoEffectTwirl e;
    SetF(e, "radius", 0);
    HostFrame in = RandomFrame(21, 19, 17), out = SolidFrame(21, 19, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "twirl radius 0");
    SetF(e, "radius", 5);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 0), At(in, 0, 0));
    EXPECT_EQ(At(out, 20, 18), At(in, 20, 18));
}

// --- lens distortion ------------------------------------------------------------------------------------

TEST(LensDistortion, ZeroParametersLeaveTheFrame) {
    // zoom 1 and rm 0: every pixel reads itself with cubic weights (0, 1, 0, 0).
    VideoEffectLensDistortion e;
    HostFrame in = RandomFrame(33, 21, 18), out = SolidFrame(33, 21, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "lens distortion zero");
}

TEST(LensDistortion, ZoomingOutShowsTheBackgroundOnlyWhenAlphaIsSet) {
    // scale_a = -100: zoom 2, so the corner (0, 0) reads (-cx, -cy): every tap outside.
    VideoEffectLensDistortion e;
    SetF(e, "scale_a", -100);
    SetI(e, "background_b", 10);
    SetI(e, "background_g", 20);
    SetI(e, "background_r", 30);
    HostFrame in = SolidFrame(40, 30, cv::Scalar(200, 150, 100, 60));
    in.image.at<cv::Vec4b>(0, 0) = cv::Vec4b(1, 2, 3, 61);
    in.image.at<cv::Vec4b>(15, 39) = cv::Vec4b(4, 5, 6, 62);
    HostFrame out = SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(1, 2, 3, 61));  // edge taps: the corner pixel itself
    // (39, 15) reads (58, 15), far right of the frame: the right edge's pixel on row 15.
    EXPECT_EQ(At(out, 39, 15), cv::Vec4b(4, 5, 6, 62));
    SetB(e, "alpha", true);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(10, 20, 30, 61));  // alpha restored from the input
    EXPECT_EQ(At(out, 20, 15), cv::Vec4b(200, 150, 100, 60));
}

// --- magnify ----------------------------------------------------------------------------------------------

TEST(Magnify, SizeLargerThanTheFrameClipsTheSquare) {
    // 40 x 30, Size 100, centre (20, 15): D = (-80, -85, 200, 200) clipped to (0, 0, 40, 30);
    // magnification 200 gives the source (10, 7, 20, 15) centred in it. Filled with one colour, the
    // source fills the frame with that colour for both shapes (the circle reaches every corner).
    for (int shape : {0, 1}) {
        VideoEffectMagnify e;
        SetI(e, "Shape", shape);
        SetF(e, "Magnification", 200);
        cv::Rect d, s;
        e.Rects(40, 30, &d, &s);
        EXPECT_EQ(d, cv::Rect(0, 0, 40, 30));
        EXPECT_EQ(s, cv::Rect(10, 7, 20, 15));
        HostFrame in = SolidFrame(40, 30, cv::Scalar(1, 2, 3, 4));
        in.image(s).setTo(cv::Scalar(90, 80, 70, 60));
        HostFrame out = SolidFrame(40, 30, cv::Scalar::all(0));
        ASSERT_EQ(Render(e, in, out), Ok);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(At(out, x, y), cv::Vec4b(90, 80, 70, 60)) << shape << " " << x << "," << y;
    }
}

TEST(Magnify, DefaultsMagnifyTheCentreByOneAndAHalf) {
    // Size 100 at the centre of 40 x 30: D = (-80, -85, 200, 200) clipped to the frame; magnification
    // 150 reads a 27 x 20 source (40 / 1.5 = 26.67 rounded) centred in it.
    VideoEffectMagnify e;
    cv::Rect d, s;
    e.Rects(40, 30, &d, &s);
    EXPECT_EQ(d, cv::Rect(0, 0, 40, 30));
    EXPECT_EQ(s, cv::Rect(6, 5, 27, 20));
}

TEST(Magnify, CircleLeavesTheSquaresCornersUnchanged) {
    // Size 10 at the centre of 60 x 60: D = (20, 20, 20, 20); the circle of radius 10 does not reach
    // D's corner pixel (20, 20), which keeps the input.
    VideoEffectMagnify e;
    SetF(e, "Size", 10);
    HostFrame in = RandomFrame(60, 60, 19), out = SolidFrame(60, 60, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 20), At(in, 20, 20));
    EXPECT_EQ(At(out, 5, 5), At(in, 5, 5));
    EXPECT_NE(At(out, 30, 25), At(in, 30, 25));
}

TEST(Warps, OutputSizeMayDifferFromTheInput) {
    // Transform centres the input in a larger output: a 20 x 10 picture in 30 x 16 starts at (5, 3).
    VideoEffectTransform e;
    HostFrame in = RandomFrame(20, 10, 22), out = SolidFrame(30, 16, cv::Scalar::all(9));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 3), At(in, 0, 0));
    EXPECT_EQ(At(out, 24, 12), At(in, 19, 9));
    EXPECT_EQ(At(out, 0, 0), kClear);
}
