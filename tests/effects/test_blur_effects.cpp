// Blur, sharpen and edge effects on the CPU: parameters and hand-computed pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <string>

#include "effects/blur/BlurEffects.h"
#include "effects/EffectMath.h"
#include "effect_helpers.h"
#include "frames.h"
#include "effects/Manifest.h"

using namespace orvex;
using orvextest::HostFrame;
using orvextest::RandomFrame;
using orvextest::SolidFrame;

namespace {

using namespace orvextest;

// A random picture whose bytes stay within [lo, hi].
HostFrame RandomWithin(int w, int h, uint32_t seed, int lo, int hi) {
    HostFrame f = RandomFrame(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            f.image.ptr(y)[x] = static_cast<uint8_t>(lo + f.image.ptr(y)[x] % (hi - lo + 1));
    return f;
}

}  // namespace

// --- parameters ------------------------------------------------------------------------------------------

struct ParamCase {
    const char* effect;
    const char* name;
    EffectParamType type;
    double value;
    ResultCode result;
    double stored;
};

class BlurParams : public testing::TestWithParam<ParamCase> {};

TEST_P(BlurParams, StoreOrSubstitute) {
    const ParamCase& c = GetParam();
    std::unique_ptr<EffectSurface> e(FindBuiltinEffect(c.effect)->create());
    EffectParamValue v = c.type == ParamFloat ? EffectParamValue::Float(static_cast<float>(c.value))
                         : c.type == ParamInt ? EffectParamValue::Int(static_cast<int32_t>(c.value))
                                              : EffectParamValue::Bool(c.value != 0);
    EXPECT_EQ(e->SetParam(c.name, c.type, v), c.result);
    EXPECT_NEAR(Stored(*e, c.name), c.stored, 1e-6);
}

const ParamCase kParamCases[] = {
    {"video/effect/gaussian_blur", "Blurriness", ParamInt, 50, Ok, 50},
    {"video/effect/gaussian_blur", "Blurriness", ParamInt, 51, InvalidArgument, 1},
    {"video/effect/gaussian_blur", "Blurriness", ParamInt, -1, InvalidArgument, 1},
    {"video/effect/gaussian_blur", "Blurriness", ParamFloat, 3, WrongFormat, 1},
    {"video/effect/direction_blur", "blur_length", ParamFloat, 12.5, Ok, 12.5},
    {"video/effect/camera_blur", "percent_blur", ParamInt, 101, InvalidArgument, 25},
    {"video/effect/compound_blur", "Maximum_Blur", ParamFloat, 3.5, Ok, 3.5},
    {"video/effect/compound_blur", "Reverse", ParamBool, 1, Ok, 1},
    {"video/effect/channel_blur", "Mode", ParamInt, 2, Ok, 2},
    {"video/effect/channel_blur", "Repeat_Edge_Pixel", ParamBool, 1, Ok, 1},
    {"video/effect/sharpen", "Amount", ParamFloat, 100.5, InvalidArgument, 100},
    {"video/effect/sharpen", "Amount", ParamFloat, 0, Ok, 0},
    {"video/effect/unsharpen_mask", "Radius", ParamFloat, 0.05, InvalidArgument, 1},
    {"video/effect/unsharpen_mask", "Amount", ParamFloat, -3, InvalidArgument, 50},
    {"video/effect/unsharpen_mask", "Threshold", ParamInt, 256, InvalidArgument, 0},
    {"video/effect/emboss", "concave", ParamFloat, 11, Ok, 1},  // substituted, still 0
    {"video/effect/emboss", "concave", ParamFloat, 0, Ok, 0},
    {"video/effect/emboss", "contrast", ParamInt, -5, InvalidArgument, 100},
    {"video/effect/emboss", "contrast", ParamInt, 4000, Ok, 4000},
    {"video/effect/emboss", "alpha", ParamInt, 101, InvalidArgument, 100},
    {"video/effect/color_emboss", "concave", ParamFloat, -1, Ok, 5},
    {"video/effect/find_edges", "alpha", ParamInt, 250, Ok, 250},  // no range
    {"video/effect/find_edges", "reverse", ParamInt, 1, WrongFormat, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, BlurParams, testing::ValuesIn(kParamCases));

// --- the shared three-box approximation -----------------------------------------------------------------

TEST(ThreeBox, SidesAsHandComputed) {
    // p = 25: sigma = (12 - 1) 0.3 + 0.8 = 4.1, v = 201.72, wl = trunc(sqrt(68.24)) = 8 -> 7,
    // m = trunc((201.72 - 147 - 84 - 9) / -32) = trunc(1.196) = 1: sides 15, 19, 19.
    ThreeBoxSides s = ThreeBoxSizes(25);
    EXPECT_EQ(s.side[0], 15);
    EXPECT_EQ(s.side[1], 19);
    EXPECT_EQ(s.side[2], 19);
    // p = 0.5 (unsharp radius 1): sigma = 0.425, v = 2.1675, wl = 1, m = trunc(21.8325 / 8) = 2:
    // sides 3, 3, 7.
    s = ThreeBoxSizes(0.5);
    EXPECT_EQ(s.side[0], 3);
    EXPECT_EQ(s.side[1], 3);
    EXPECT_EQ(s.side[2], 7);
    // p = 3: sigma = 0.8, v = 7.68, wl = trunc(sqrt(3.56)) = 1, m = trunc(-16.32 / -8) = 2: 3, 3, 7.
    s = ThreeBoxSizes(3);
    EXPECT_EQ(s.side[0], 3);
    EXPECT_EQ(s.side[2], 7);
    // p = 60: sigma = 9.35, v = 1049.07, wl = trunc(sqrt(350.69)) = 18 -> 17,
    // m = trunc((1049.07 - 867 - 204 - 9) / -72) = trunc(0.43) = 0: 39, 39, 39.
    s = ThreeBoxSizes(60);
    EXPECT_EQ(s.side[0], 39);
    EXPECT_EQ(s.side[1], 39);
    EXPECT_EQ(s.side[2], 39);
}

TEST(ThreeBox, ReflectAndCoverage) {
    EXPECT_EQ(Reflect101(-1, 5), 1);
    EXPECT_EQ(Reflect101(5, 5), 3);
    EXPECT_EQ(Reflect101(-7, 5), 1);  // -7 -> 7 -> 1
    EXPECT_EQ(Reflect101(3, 1), 0);
    // len 6, mask [2, 4), k 3 (window [x - 1, x + 2)): x = 0 reads 1, 0, 1 -> 0 inside.
    int64_t counts[6];
    BoxCoverage(6, 2, 4, 3, counts);
    const int64_t expected[6] = {0, 1, 2, 2, 1, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(counts[i], expected[i]) << i;
}

TEST(ThreeBox, ConstantTimeCoverageCountsLikeTheWindowWalk) {
    // The closed form against walking the window tap by tap, windows longer than the axis included.
    for (int len : {1, 2, 3, 7, 20}) {
        for (int lo = -2; lo <= len + 1; lo += 2) {
            for (int hi = lo; hi <= len + 3; hi += 3) {
                for (int k : {1, 2, 3, 4, 9, 25, 60}) {
                    for (int x = 0; x < len; ++x) {
                        int64_t walk = 0;
                        for (int i = 0; i < k; ++i) {
                            const int p = Reflect101(x - k / 2 + i, len);
                            walk += p >= lo && p < hi;
                        }
                        ASSERT_EQ(BoxCoverageAt(x, len, lo, hi, k), walk)
                            << "len " << len << " [" << lo << ", " << hi << ") k " << k << " x " << x;
                    }
                }
            }
        }
    }
}

// --- Gaussian blur -----------------------------------------------------------------------------------

TEST(GaussianBlur, BlurrinessZeroLeavesThePicture) {
    VideoEffectGaussianBlur e;
    SetI(e, "Blurriness", 0);
    HostFrame in = RandomFrame(33, 21, 1), out = SolidFrame(33, 21, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "gaussian 0");
}

TEST(GaussianBlur, DefaultSpreadsAPointOverItsEightNeighboursOnly) {
    // Blurriness 1: a 3 x 3 window; sigma 10 weighs its taps almost alike (exp(-2/200) = 0.99 at
    // the corners), so a point of 255 becomes about 255 / 9 = 28 over the nine pixels, and no
    // further.
    VideoEffectGaussianBlur e;
    HostFrame in = SolidFrame(9, 7, cv::Scalar(0, 0, 0, 255));
    in.image.at<cv::Vec4b>(3, 4) = cv::Vec4b(255, 255, 255, 255);
    HostFrame out = SolidFrame(9, 7, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool window = std::abs(x - 4) <= 1 && std::abs(y - 3) <= 1;
            if (window) {
                EXPECT_NEAR(At(out, x, y)[0], 28, 1) << x << "," << y;
            } else {
                EXPECT_EQ(At(out, x, y)[0], 0) << x << "," << y;
            }
            EXPECT_EQ(At(out, x, y)[3], 255);
        }
}

TEST(GaussianBlur, IsTheLibrarysGaussianWithSigmaTen) {
    // Two flat halves: far from the boundary the picture keeps its value, at the boundary it meets
    // halfway (the kernel is symmetric), and the blur spreads r = 10 pixels.
    VideoEffectGaussianBlur e;
    SetI(e, "Blurriness", 10);
    HostFrame in = SolidFrame(60, 10, cv::Scalar(0, 0, 0, 255));
    in.image.colRange(30, 60).setTo(cv::Scalar(200, 200, 200, 255));
    HostFrame out = SolidFrame(60, 10, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 5)[0], 0);
    EXPECT_EQ(At(out, 55, 5)[0], 200);
    EXPECT_NEAR(At(out, 29, 5)[0] + At(out, 30, 5)[0], 200, 1);
    EXPECT_GT(At(out, 21, 5)[0], 0);
    EXPECT_EQ(At(out, 19, 5)[0], 0);
    EXPECT_EQ(At(out, 29, 5)[3], 255);
}

TEST(GaussianBlur, KernelTableIsTheNormalisedGaussianCachedPerRadius) {
    VideoEffectGaussianBlur e;
    SetI(e, "Blurriness", 2);
    const std::vector<float>& t = e.KernelTable();
    ASSERT_EQ(t.size(), 25u);
    double sum = 0;
    for (float v : t) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-6);
    // w(i, j) / w(0, 0) = exp(-(i^2 + j^2)/200): the corner (2, 2) is exp(-0.04) of the centre.
    EXPECT_NEAR(t[0] / t[12], std::exp(-8.0 / 200), 1e-6);
    EXPECT_FLOAT_EQ(t[1], t[5]);  // symmetric
    const float* data = t.data();
    EXPECT_EQ(e.KernelTable().data(), data);  // same radius: not rebuilt
    SetI(e, "Blurriness", 3);
    EXPECT_EQ(e.KernelTable().size(), 49u);
}

// --- camera, compound, channel blur ------------------------------------------------------------------

TEST(CameraBlur, ZeroCopiesAndAFlatFrameStaysFlat) {
    VideoEffectCameraBlur e;
    SetI(e, "percent_blur", 0);
    HostFrame in = RandomFrame(31, 17, 2), out = SolidFrame(31, 17, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "camera blur 0");
    SetI(e, "percent_blur", 60);
    HostFrame flat = SolidFrame(31, 17, cv::Scalar(9, 99, 199, 250));
    ASSERT_EQ(Render(e, flat, out), Ok);
    ExpectSamePicture(out.image, flat.image, "camera blur of a flat frame");
}

TEST(CameraBlur, IsTheThreeBoxBlurOfAllFourChannels) {
    VideoEffectCameraBlur e;
    SetI(e, "percent_blur", 9);
    HostFrame in = RandomFrame(40, 30, 3), out = SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    // Independent restatement: three normalised boxes of the hand-computed sides for p = 9
    // (sigma = 1.7, v = 34.68, wl = 3, m = trunc((34.68 - 27 - 36 - 9) / -16) = 2: 7, 7, 11).
    cv::Mat expected = in.image.clone();
    for (int side : {7, 7, 11}) cv::blur(expected, expected, cv::Size(side, side));
    ExpectSamePicture(out.image, expected, "camera blur 9");
}

TEST(CompoundBlur, MaximumZeroCopies) {
    VideoEffectCompoundBlur e;
    SetF(e, "Maximum_Blur", 0);
    HostFrame in = RandomFrame(21, 13, 4), out = SolidFrame(21, 13, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "compound blur 0");
}

TEST(CompoundBlur, DefaultBlursTheBrightSideByThreeBoxesOfFifteen) {
    // Maximum 20: sigma = (10 - 1.5) 0.3 + 0.8 = 3.35, v = 134.67, wl = trunc(sqrt(45.89)) = 6 -> 5,
    // m = trunc((134.67 - 75 - 60 - 9) / -24) = 0: sides 15, 15, 15. Where the map is white the
    // output is that blur, where it is black the input; alpha is kept.
    HostFrame in = SolidFrame(61, 9, cv::Scalar(0, 0, 0, 200));
    in.image.colRange(30, 61).setTo(cv::Scalar(255, 255, 255, 200));
    cv::Mat blurred = in.image.clone();
    for (int side : {15, 15, 15}) cv::blur(blurred, blurred, cv::Size(side, side));
    cv::Mat expected = in.image.clone();
    for (int x = 30; x < 61; ++x)
        for (int y = 0; y < 9; ++y) {
            const cv::Vec4b b = blurred.at<cv::Vec4b>(y, x);
            expected.at<cv::Vec4b>(y, x) = cv::Vec4b(b[0], b[1], b[2], 200);
        }
    VideoEffectCompoundBlur e;
    HostFrame out = SolidFrame(61, 9, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, expected, "compound blur at its default");
    EXPECT_LT(At(out, 30, 4)[0], 255);
}

TEST(CompoundBlur, BrightAreasBlurAndReverseBlursTheDarkOnes) {
    // Left half black, right half white. The map g is the gray level: 0 on the left (out = in,
    // sharp) and 255 on the right (out = the blur). Reverse swaps them.
    HostFrame in = SolidFrame(60, 8, cv::Scalar(0, 0, 0, 255));
    in.image.colRange(30, 60).setTo(cv::Scalar(255, 255, 255, 255));
    HostFrame out = SolidFrame(60, 8, cv::Scalar::all(1));
    VideoEffectCompoundBlur e;
    SetF(e, "Maximum_Blur", 9);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 29, 4), cv::Vec4b(0, 0, 0, 255));  // dark stays sharp
    EXPECT_LT(At(out, 30, 4)[0], 255);                   // bright takes the blur across the edge
    SetB(e, "Reverse", true);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_GT(At(out, 29, 4)[0], 0);                           // dark now blurred
    EXPECT_EQ(At(out, 30, 4), cv::Vec4b(255, 255, 255, 255));  // bright stays sharp
    EXPECT_EQ(At(out, 2, 4), cv::Vec4b(0, 0, 0, 255));         // far from the edge the blur is black too
}

TEST(ChannelBlur, AllOnesChangeNothing) {
    VideoEffectChannelBlur e;
    for (const char* n : {"Red_Blurriness", "Green_Blurriness", "Blue_Blurriness", "Alpha_Blurriness"}) SetI(e, n, 1);
    HostFrame in = RandomFrame(27, 19, 5), out = SolidFrame(27, 19, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "channel blur 1");
}

TEST(ChannelBlur, OnlyTheNamedPlaneInTheChosenDirection) {
    // Rows alternate 0 and 200 in every byte: a horizontal blur cannot change them, a vertical one
    // must; only red (byte 2) is blurred.
    HostFrame in = SolidFrame(30, 20, cv::Scalar::all(0));
    for (int y = 0; y < 20; y += 2) in.image.row(y).setTo(cv::Scalar::all(200));
    HostFrame out = SolidFrame(30, 20, cv::Scalar::all(1));
    VideoEffectChannelBlur e;
    SetI(e, "Red_Blurriness", 7);
    SetB(e, "Repeat_Edge_Pixel", true);
    SetI(e, "Mode", 1);
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "horizontal blur of horizontal stripes");
    SetI(e, "Mode", 2);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 15, 10)[0], 200);  // blue untouched
    EXPECT_EQ(At(out, 15, 10)[3], 200);  // alpha untouched
    EXPECT_GT(At(out, 15, 10)[2], 0);
    EXPECT_LT(At(out, 15, 10)[2], 200);
    SetI(e, "Mode", 3);  // no direction: planes unblurred
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "mode 3");
}

TEST(ChannelBlur, ConstantBorderDarkensTheEdgesAndRepeatDoesNot) {
    HostFrame in = SolidFrame(30, 20, cv::Scalar::all(200)), out = SolidFrame(30, 20, cv::Scalar::all(1));
    VideoEffectChannelBlur e;
    SetI(e, "Green_Blurriness", 5);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_LT(At(out, 0, 0)[1], 200);
    EXPECT_EQ(At(out, 15, 10)[1], 200);
    SetB(e, "Repeat_Edge_Pixel", true);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 0, 0)[1], 200);
}

// --- direction blur -------------------------------------------------------------------------------------

TEST(DirectionBlur, DefaultKernelIsTheAntiDiagonal) {
    // Length 5: k = 11; the diagonal turned by 135 - 45 = 90 degrees about (5, 5) is the
    // anti-diagonal, each tap 1/11.
    VideoEffectDirectionBlur e;
    const cv::Mat k = e.Kernel();
    ASSERT_EQ(k.size(), cv::Size(11, 11));
    for (int i = 0; i < 11; ++i) EXPECT_NEAR(k.at<float>(i, 10 - i), 1.0 / 11, 1e-5) << i;
    EXPECT_NEAR(cv::sum(k)[0], 1.0, 1e-5);
}

TEST(DirectionBlur, StretchesTheColourToTheFullRange) {
    VideoEffectDirectionBlur e;
    HostFrame in = RandomWithin(40, 30, 6, 100, 150), out = SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    double lo, hi;
    cv::Mat colour;
    cv::cvtColor(out.image, colour, cv::COLOR_BGRA2BGR);
    cv::minMaxLoc(colour.reshape(1), &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
    EXPECT_EQ(At(out, 3, 3)[3], At(in, 3, 3)[3]);
    // The three colour channels are stretched together: a flat colour spans its own channels'
    // range (80..100 becomes 0..255); a flat grey has nothing to stretch and keeps its value.
    HostFrame flat = SolidFrame(40, 30, cv::Scalar(80, 90, 100, 110));
    ASSERT_EQ(Render(e, flat, out), Ok);
    EXPECT_EQ(At(out, 20, 15), cv::Vec4b(0, 128, 255, 110));
    HostFrame grey = SolidFrame(40, 30, cv::Scalar(90, 90, 90, 110));
    ASSERT_EQ(Render(e, grey, out), Ok);
    ExpectSamePicture(out.image, grey.image, "flat grey frame");
}

// --- sharpen ---------------------------------------------------------------------------------------------

TEST(Sharpen, AmountZeroAndFlatFramesAreUnchanged) {
    VideoEffectSharpen e;
    HostFrame flat = SolidFrame(30, 20, cv::Scalar(10, 120, 250, 7)), out = SolidFrame(30, 20, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, flat, out), Ok);  // E = 0 everywhere
    ExpectSamePicture(out.image, flat.image, "flat");
    SetF(e, "Amount", 0);
    HostFrame in = RandomFrame(31, 21, 7);
    ASSERT_EQ(Render(e, in, out = SolidFrame(31, 21, cv::Scalar::all(0))), Ok);
    ExpectSamePicture(out.image, in.image, "amount 0");
}

TEST(Sharpen, HandComputedPeak) {
    // A 100 on a field of 50: E = 4 x 100 - 4 x 50 = 200 at the peak, and 4 x 50 - 100 - 150 < 0 -> 0
    // beside it. Amount 100: a = 255, M[200][255] = 200, out = min(255, 300) = 255; Amount 50:
    // a = trunc(127.5) = 127, M[200][127] = (25400 + 127) div 255 = 100, out = 200.
    HostFrame in = SolidFrame(9, 9, cv::Scalar(50, 50, 50, 255));
    in.image.at<cv::Vec4b>(4, 4) = cv::Vec4b(100, 100, 100, 3);
    HostFrame out = SolidFrame(9, 9, cv::Scalar::all(0));
    VideoEffectSharpen e;
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 4, 4), cv::Vec4b(255, 255, 255, 3));
    EXPECT_EQ(At(out, 5, 4), cv::Vec4b(50, 50, 50, 255));
    SetF(e, "Amount", 50);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 4, 4), cv::Vec4b(200, 200, 200, 3));
}

TEST(Sharpen, EdgeMapSizeAbove1080) {
    EXPECT_EQ(VideoEffectSharpen::EdgeMapSize(1920, 1080), cv::Size(686, 386));
    EXPECT_EQ(VideoEffectSharpen::EdgeMapSize(1081, 720), cv::Size(686, 386));
    EXPECT_EQ(VideoEffectSharpen::EdgeMapSize(1080, 1920), cv::Size(386, 686));
    EXPECT_EQ(VideoEffectSharpen::EdgeMapSize(1080, 720), cv::Size(1080, 720));
    EXPECT_EQ(VideoEffectSharpen::EdgeMapSize(2000, 2000), cv::Size(2000, 2000));  // square: full size
}

// --- unsharp mask -----------------------------------------------------------------------------------------

TEST(UnsharpMask, Threshold255LeavesEveryPixelWithASmallerDifference) {
    // Bytes within 1..254: no |in - blur| reaches 255.
    VideoEffectUnsharpenMask e;
    SetI(e, "Threshold", 255);
    SetF(e, "Amount", 100);
    HostFrame in = RandomWithin(33, 23, 8, 1, 254), out = SolidFrame(33, 23, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "threshold 255");
}

TEST(UnsharpMask, DefaultsAddHalfTheDifferenceFromTheRadiusOneBlur) {
    // Amount 50, Radius 1 (sides 3, 3, 7), Threshold 0: out = rint(1.5 in - 0.5 blur), halves to
    // even, for a 100 on a field of 50.
    HostFrame in = SolidFrame(21, 17, cv::Scalar(50, 50, 50, 9));
    in.image.at<cv::Vec4b>(8, 10) = cv::Vec4b(100, 100, 100, 9);
    cv::Mat blurred = in.image.clone();
    for (int side : {3, 3, 7}) cv::blur(blurred, blurred, cv::Size(side, side));
    VideoEffectUnsharpenMask e;
    HostFrame out = SolidFrame(21, 17, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (auto [x, y] : {std::pair{10, 8}, std::pair{11, 8}, std::pair{13, 10}, std::pair{0, 0}}) {
        const int b = blurred.at<cv::Vec4b>(y, x)[0], v = At(in, x, y)[0];
        EXPECT_EQ(At(out, x, y)[0], std::clamp(static_cast<int>(std::nearbyint(1.5 * v - 0.5 * b)), 0, 255)) << x << "," << y;
    }
    EXPECT_EQ(At(out, 10, 8)[3], 9);
}

TEST(UnsharpMask, HandComputedBoost) {
    // A 100 on a field of 50 with Radius 1 (sides 3, 3, 7): the peak's blur is
    // 50 + 50 x (its weight in the three boxes); Amount 100 gives out = sat(2 x 100 - blur).
    HostFrame in = SolidFrame(21, 21, cv::Scalar(50, 50, 50, 9));
    in.image.at<cv::Vec4b>(10, 10) = cv::Vec4b(100, 100, 100, 9);
    cv::Mat blurred = in.image.clone();
    for (int side : {3, 3, 7}) cv::blur(blurred, blurred, cv::Size(side, side));
    const int b = blurred.at<cv::Vec4b>(10, 10)[0];
    VideoEffectUnsharpenMask e;
    SetF(e, "Amount", 100);
    HostFrame out = SolidFrame(21, 21, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 10, 10)[0], std::clamp(200 - b, 0, 255));
    EXPECT_EQ(At(out, 10, 10)[3], 9);
    EXPECT_EQ(At(out, 0, 0)[0], 50);  // flat far away: blur = in
}

// --- emboss, colour emboss ------------------------------------------------------------------------------

TEST(Emboss, ConcaveZeroComparesEachRowWithItself) {
    VideoEffectEmboss emboss;
    SetF(emboss, "concave", 0);
    HostFrame in = RandomFrame(23, 11, 9), out = SolidFrame(23, 11, cv::Scalar::all(0));
    ASSERT_EQ(Render(emboss, in, out), Ok);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(At(out, x, y), cv::Vec4b(128, 128, 128, At(in, x, y)[3])) << x << "," << y;
    // Colour emboss: e = I, and M[I][0] + M[I][255] = I.
    VideoEffectColorEmboss colour;
    SetF(colour, "concave", 0);
    ASSERT_EQ(Render(colour, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "colour emboss concave 0");
}

TEST(Emboss, HandComputedRowDifference) {
    // angle 45: d = sin(90 degrees) x 1 = 1, so J is the row below. I = 100, J = 60, contrast 100:
    // e = 128 + 40 = 168; alpha 100: out = 168. Colour emboss with concave 1: e = 100 + 40 = 140.
    HostFrame in = SolidFrame(5, 2, cv::Scalar(100, 100, 100, 255));
    in.image.row(1).setTo(cv::Scalar(60, 60, 60, 255));
    HostFrame out = SolidFrame(5, 2, cv::Scalar::all(0));
    VideoEffectEmboss e;
    EXPECT_EQ(e.RowOffset(), 1);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 2, 0), cv::Vec4b(168, 168, 168, 255));
    EXPECT_EQ(At(out, 2, 1), cv::Vec4b(128, 128, 128, 255));  // the last row compares with itself
    VideoEffectColorEmboss c;
    SetF(c, "concave", 1);
    ASSERT_EQ(Render(c, in, out), Ok);
    EXPECT_EQ(At(out, 2, 0), cv::Vec4b(140, 140, 140, 255));
    // alpha 50: k = 127: out = M[100][128] + M[140][127] = 50 + 70 = 120.
    SetI(c, "alpha", 50);
    ASSERT_EQ(Render(c, in, out), Ok);
    EXPECT_EQ(At(out, 2, 0)[0], 120);
}

TEST(ColorEmboss, DefaultComparesEachRowWithTheFifthBelow) {
    // concave 5 at angle 45: d = round(sin(90 degrees) x 5) = 5. Only row 5 is 60 on a field of
    // 100: row 0 alone compares with it, e = 100 + (100 - 60) = 140; the others meet a 100 (or
    // themselves past the last row) and keep 100, and row 5 itself compares with row 10.
    HostFrame in = SolidFrame(7, 11, cv::Scalar(100, 100, 100, 255));
    in.image.row(5).setTo(cv::Scalar(60, 60, 60, 255));
    HostFrame out = SolidFrame(7, 11, cv::Scalar::all(0));
    VideoEffectColorEmboss e;
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 3, 0), cv::Vec4b(140, 140, 140, 255));
    for (int y : {1, 4, 6, 10}) EXPECT_EQ(At(out, 3, y), cv::Vec4b(100, 100, 100, 255)) << y;
    EXPECT_EQ(At(out, 3, 5), cv::Vec4b(20, 20, 20, 255));  // 60 + (60 - 100)
}

TEST(Emboss, RowOffsetRoundsHalvesUp) {
    VideoEffectEmboss e;
    SetF(e, "angle", 105);  // sin(30 degrees) = 0.5: one row down, though 0.49999999999999994 in double
    EXPECT_EQ(e.RowOffset(), 1);
    SetF(e, "angle", 135);  // sin 0
    EXPECT_EQ(e.RowOffset(), 0);
    SetF(e, "angle", -45);  // sin(180 degrees) ~ 0
    EXPECT_EQ(e.RowOffset(), 0);
    SetF(e, "angle", 225);  // sin(-90 degrees) = -1
    SetF(e, "concave", 3);
    EXPECT_EQ(e.RowOffset(), -3);
}

// --- find edges ---------------------------------------------------------------------------------------

TEST(FindEdges, FlatFramesAreWhiteAndReversedBlack) {
    VideoEffectFindEdges e;
    HostFrame in = SolidFrame(12, 9, cv::Scalar(30, 60, 90, 44)), out = SolidFrame(12, 9, cv::Scalar::all(1));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(255, 255, 255, 44));
    SetB(e, "reverse", true);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(0, 0, 0, 44));
    SetI(e, "alpha", 0);  // k = 0: the input itself
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(30, 60, 90, 44));
}

TEST(FindEdges, HandComputedVerticalEdge) {
    // Columns 0..5 are 0, 6..11 are 100. At column 5: Sobel x = 4 x 100 = 400 -> 255, y = 0: E = 255,
    // dark (0) on white. With alpha 40 (k = 102): out = M[0][102] + M[0][153] = 0 at the edge and
    // M[255][102] + M[100][153] = 102 + 60 = 162 far from it on the bright side.
    HostFrame in = SolidFrame(12, 9, cv::Scalar(0, 0, 0, 255));
    in.image.colRange(6, 12).setTo(cv::Scalar(100, 100, 100, 255));
    HostFrame out = SolidFrame(12, 9, cv::Scalar::all(1));
    VideoEffectFindEdges e;
    SetI(e, "alpha", 40);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 5, 4)[0], 0);
    EXPECT_EQ(At(out, 10, 4)[0], 162);
}

