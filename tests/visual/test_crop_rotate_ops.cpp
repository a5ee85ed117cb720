// CropFrame, PixelRotate, Rotate and the flips on host frames, against hand-made pictures.
#include <cmath>
#include <functional>
#include <vector>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "frames.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::LogCapture;
using orvextest::PlanarFrame;

// --- CropFrame ----------------------------------------------------------------------------------------

class CropCopy : public ::testing::TestWithParam<uint32_t> {};

TEST_P(CropCopy, WholeRectangleAtEqualSizeIsACopy) {
    VisualProcess vp;
    const uint32_t fmt = GetParam();
    PlanarFrame in(fmt, 13, 9), out(fmt, 13, 9);
    in.FillRandom(fmt + 1);
    ASSERT_EQ(vp.CropFrame(in.frame, fxRectf{0, 0, 1, 1}, out.frame, 0), Ok);
    std::string where;
    EXPECT_EQ(in.MaxDiff(out, 0, &where), 0) << where;
    EXPECT_TRUE(out.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Formats, CropCopy,
                         ::testing::Values(BGRA32, BGRA32_ALT, BGRA64, YV12, YV12P10, NV12, P010, YUVA420, YUVAP10,
                                           YUV422, YUV422_16));

TEST(CropBGRA, RightHalfOntoAnOutputOfItsSize) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(4, 4, 11);
    auto out = orvextest::SolidFrame(2, 4, cv::Scalar::all(0));
    // x0 = 4*0.5 + 0.5 -> 2, w = 2: output centres land on input centres 2.5 and 3.5 exactly.
    ASSERT_EQ(vp.CropFrame(*in.frame, fxRectf{0.5f, 0, 0.5f, 1}, *out.frame, 0), Ok);
    EXPECT_EQ(cv::norm(out.image, in.image.colRange(2, 4), cv::NORM_INF), 0.0);
}

TEST(CropBGRA, EnlargingMixesNeighboursBilinearly) {
    VisualProcess vp;
    cv::Mat src(1, 2, CV_8UC4);
    src.at<cv::Vec4b>(0, 0) = cv::Vec4b(0, 0, 0, 255);
    src.at<cv::Vec4b>(0, 1) = cv::Vec4b(100, 100, 100, 255);
    auto in = orvextest::WrapFrame(src);
    auto out = orvextest::SolidFrame(4, 1, cv::Scalar::all(7));
    ASSERT_EQ(vp.CropFrame(*in, fxRectf{0, 0, 1, 1}, *out.frame, 0), Ok);
    // Output centres read input x = (i + 0.5) / 2: 0.25, 0.75, 1.25, 1.75, i.e. 0.25 before the
    // first centre (edge: 0), a quarter and three quarters of the way (25, 75), past the last (100).
    const int expected[4] = {0, 25, 75, 100};
    for (int i = 0; i < 4; ++i) {
        const uint8_t e = static_cast<uint8_t>(expected[i]);
        EXPECT_EQ(out.image.at<cv::Vec4b>(0, i), cv::Vec4b(e, e, e, 255)) << i;
    }
}

TEST(CropBGRA, ARegionPastTheEdgeReadsTransparent) {
    VisualProcess vp;
    auto in = orvextest::SolidFrame(4, 4, cv::Scalar(50, 60, 70, 255));
    auto out = orvextest::SolidFrame(4, 4, cv::Scalar::all(7));
    // x0 = 2, w = 4: output columns 2 and 3 read input x 4.5 and 5.5, outside the picture.
    ASSERT_EQ(vp.CropFrame(*in.frame, fxRectf{0.5f, 0, 1, 1}, *out.frame, 0), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(1, 1), cv::Vec4b(50, 60, 70, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(1, 2), cv::Vec4b(0, 0, 0, 0));
}

TEST(CropYUV, RegionsPastTheEdgeArePaddedWithTheRangesBlack) {
    VisualProcess vp;
    for (int range : {0, 1}) {
        PlanarFrame in(YV12, 4, 4), out(YV12, 4, 4);
        in.Fill([](int p, int, int) { return p == 0 ? 200 : 60; });
        // x0 = 2, w = 4, scale 1: luma x reads x + 2 (columns 2, 3 inside, 4, 5 outside); chroma x
        // reads x + 1 in a 2-wide plane (column 0 inside, 1 outside).
        ASSERT_EQ(vp.CropFrame(in.frame, fxRectf{0.5f, 0, 1, 1}, out.frame, range), Ok);
        const int black = range == 1 ? 0 : 16;
        EXPECT_EQ(out.Get(0, 1, 2), 200);
        EXPECT_EQ(out.Get(0, 2, 2), black) << "range " << range;
        EXPECT_EQ(out.Get(1, 0, 1), 60);
        EXPECT_EQ(out.Get(1, 1, 1), 128);
        EXPECT_EQ(out.Get(2, 1, 0), 128);
    }
    // 10-bit limited black is 16 << 2 = 64, neutral chroma 128 << 2 = 512.
    PlanarFrame in(YUVAP10, 4, 4), out(YUVAP10, 4, 4);
    in.Fill([](int p, int, int) { return p == 3 ? 1023 : 300; });
    ASSERT_EQ(vp.CropFrame(in.frame, fxRectf{0.5f, 0, 1, 1}, out.frame, 0), Ok);
    EXPECT_EQ(out.Get(0, 3, 0), 64);
    EXPECT_EQ(out.Get(1, 1, 0), 512);
    EXPECT_EQ(out.Get(3, 3, 0), 0) << "alpha pads transparent";
    EXPECT_EQ(out.Get(3, 0, 0), 1023);
}

TEST(CropYUV, HalvingKeepsChromaCoSited) {
    VisualProcess vp;
    // A 8 x 4 NV12 frame cropped by its right half (x0 = 4) onto 4 x 4: luma x reads x + 4; the
    // chroma pair x reads pair x + 2 of the 4-pair plane.
    PlanarFrame in(NV12, 8, 4), out(NV12, 4, 4);
    in.Fill([](int p, int x, int y) { return p == 0 ? 10 * x + y : 20 * (x / 2) + (x % 2) + y; });
    ASSERT_EQ(vp.CropFrame(in.frame, fxRectf{0.5f, 0, 0.5f, 1}, out.frame, 0), Ok);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(out.Get(0, x, y), in.Get(0, x + 4, y));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(out.Get(1, x, y), in.Get(1, x + 4, y)) << x << "," << y;
}

TEST(CropFrameInput, MismatchesBadRectanglesAndMissingPlanes) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(8, 8, 2);
    auto out = orvextest::SolidFrame(4, 4, cv::Scalar::all(7));
    {
        PlanarFrame yv(YV12, 4, 4);
        LogCapture cap;
        EXPECT_EQ(vp.CropFrame(*in.frame, fxRectf{0, 0, 1, 1}, yv.frame, 0), WrongFormat);
        EXPECT_TRUE(cap.Has("input format is not equal to output format!!", "orvex:CropFrame", 6)) << cap.Dump();
    }
    for (uint32_t fmt : {uint32_t{PIXFMT_2}, uint32_t{PIXFMT_10}, uint32_t{YUVA422}, uint32_t{99}}) {
        EffectFrame a, b;
        a.pixel_fmt = b.pixel_fmt = fmt;
        EXPECT_EQ(vp.CropFrame(a, fxRectf{0, 0, 1, 1}, b, 0), WrongFormat) << fmt;
    }
    for (fxRectf bad : {fxRectf{0, 0, 0, 1}, fxRectf{0, 0, 0.01f, 1}, fxRectf{NAN, 0, 1, 1},
                        fxRectf{0, 0, INFINITY, 1}, fxRectf{0, 0, 1, -1}}) {
        EXPECT_EQ(vp.CropFrame(*in.frame, bad, *out.frame, 0), InvalidArgument);
        PlanarFrame a(YV12, 8, 8), b(YV12, 4, 4);
        EXPECT_EQ(vp.CropFrame(a.frame, bad, b.frame, 0), InvalidArgument);
    }
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(7, 7, 7, 7));
    EffectFrame empty, emptyOut;
    LogCapture cap;
    EXPECT_EQ(vp.CropFrame(empty, fxRectf{0, 0, 1, 1}, emptyOut, 0), Failed);
    EXPECT_TRUE(cap.Has("input gpu frame is nullptr!!", "orvex:BGRACrop", 6)) << cap.Dump();
}

// --- PixelRotate ----------------------------------------------------------------------------------------

TEST(PixelRotate, QuarterTurnOfFullHDMovesTheTopLeftPixelToTheTopRight) {
    VisualProcess vp;
    auto in = orvextest::SolidFrame(1920, 1080, cv::Scalar(0, 0, 0, 255));
    in.image.at<cv::Vec4b>(0, 0) = cv::Vec4b(1, 2, 3, 4);
    auto out = orvextest::SolidFrame(1080, 1920, cv::Scalar::all(9));
    ASSERT_EQ(vp.PixelRotate(*in.frame, *out.frame, 0), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 1079), cv::Vec4b(1, 2, 3, 4));
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 0, 255));
}

// Source pixel of output (x, y) for a w x h source, by rotate type: 0 clockwise, 1 half turn,
// 2 counter-clockwise, 3 left-right mirror, 4 top-bottom mirror.
cv::Point Source(int type, int x, int y, int w, int h) {
    switch (type) {
    case 1: return {w - 1 - x, h - 1 - y};
    case 2: return {w - 1 - y, x};
    case 3: return {w - 1 - x, y};
    case 4: return {x, h - 1 - y};
    default: return {y, h - 1 - x};
    }
}

TEST(PixelRotate, EveryTypeOnBGRA) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(5, 3, 21, 4);
    for (int type : {0, 1, 2, 3, 4, 17}) {
        const bool swap = type == 0 || type == 2 || type == 17;
        auto out = orvextest::SolidFrame(swap ? 3 : 5, swap ? 5 : 3, cv::Scalar::all(0));
        ASSERT_EQ(vp.PixelRotate(*in.frame, *out.frame, type), Ok) << type;
        for (int y = 0; y < out.image.rows; ++y)
            for (int x = 0; x < out.image.cols; ++x) {
                const cv::Point s = Source(type == 17 ? 0 : type, x, y, 5, 3);
                ASSERT_EQ(out.image.at<cv::Vec4b>(y, x), in.image.at<cv::Vec4b>(s)) << type << ": " << x << "," << y;
            }
    }
}

TEST(PixelRotate, EveryTypeOnTheYUVLayouts) {
    VisualProcess vp;
    for (uint32_t fmt : {uint32_t{NV12}, uint32_t{P010}, uint32_t{YV12}, uint32_t{YUVA420}, uint32_t{YV12P10},
                         uint32_t{YUVAP10}}) {
        PlanarFrame in(fmt, 6, 4);
        in.FillRandom(fmt);
        for (int type = 0; type <= 4; ++type) {
            const bool swap = type == 0 || type == 2;
            PlanarFrame out(fmt, swap ? 4 : 6, swap ? 6 : 4);
            ASSERT_EQ(vp.PixelRotate(in.frame, out.frame, type), Ok) << fmt << " type " << type;
            const bool pairs = fmt == NV12 || fmt == P010;
            for (int p = 0; p < in.planeCount; ++p) {
                const int n = pairs && p == 1 ? 2 : 1;  // samples per chroma element
                const int w = in.samples[p] / n, h = in.rows[p];
                for (int y = 0; y < out.rows[p]; ++y)
                    for (int x = 0; x < out.samples[p] / n; ++x)
                        for (int c = 0; c < n; ++c) {
                            const cv::Point s = Source(type, x, y, w, h);
                            ASSERT_EQ(out.Get(p, x * n + c, y), in.Get(p, s.x * n + c, s.y))
                                << fmt << " type " << type << " plane " << p << " (" << x << "," << y << ")";
                        }
            }
            EXPECT_TRUE(out.GuardsIntact());
        }
    }
}

TEST(PixelRotate, RefusesMismatchesAndWrongSizesUntouched) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(5, 3, 1);
    auto out = orvextest::SolidFrame(5, 3, cv::Scalar::all(7));
    LogCapture cap;
    EXPECT_EQ(vp.PixelRotate(*in.frame, *out.frame, 0), InvalidArgument) << "a quarter turn needs 3 x 5";
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(7, 7, 7, 7));
    PlanarFrame yv(YV12, 3, 5);
    EXPECT_EQ(vp.PixelRotate(*in.frame, yv.frame, 0), WrongFormat);
    EXPECT_TRUE(cap.Has("input format is not equal output format !!", "orvex:PixelRotate", 6)) << cap.Dump();
    PlanarFrame a(YUV422, 4, 4), b(YUV422, 4, 4);
    EXPECT_EQ(vp.PixelRotate(a.frame, b.frame, 1), WrongFormat);
    PlanarFrame c(NV12, 4, 4), d(NV12, 4, 4);
    d.frame.data[1] = nullptr;
    cap.Clear();
    EXPECT_EQ(vp.PixelRotate(c.frame, d.frame, 1), InvalidArgument);
    EXPECT_TRUE(cap.Has("input is nullptr!!", "orvex:NV12Rotate", 6)) << cap.Dump();
}

// --- Rotate and the flips ----------------------------------------------------------------------------------

TEST(Rotate, NinetyDegreesNearestIsTheQuarterTurn) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(6, 4, 8);
    auto turned = orvextest::SolidFrame(4, 6, cv::Scalar::all(0));
    auto rotated = orvextest::SolidFrame(4, 6, cv::Scalar::all(7));
    ASSERT_EQ(vp.PixelRotate(*in.frame, *turned.frame, 0), Ok);
    ASSERT_EQ(vp.Rotate(*in.frame, *rotated.frame, 90.0, 0), Ok);
    EXPECT_EQ(cv::norm(turned.image, rotated.image, cv::NORM_INF), 0.0);
}

TEST(Rotate, ZeroIsACopyAndOutsideIsTransparent) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(6, 4, 9);
    auto out = orvextest::SolidFrame(6, 4, cv::Scalar::all(7));
    ASSERT_EQ(vp.Rotate(*in.frame, *out.frame, 0.0, 1), Ok);
    EXPECT_EQ(cv::norm(in.image, out.image, cv::NORM_INF), 0.0);
    // 45 degrees of a 4 x 4 square into 8 x 8: the output's corners lie outside the picture.
    auto square = orvextest::SolidFrame(4, 4, cv::Scalar(255, 255, 255, 255));
    auto big = orvextest::SolidFrame(8, 8, cv::Scalar::all(7));
    ASSERT_EQ(vp.Rotate(*square.frame, *big.frame, 45.0, 1), Ok);
    EXPECT_EQ(big.image.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 0, 0));
    EXPECT_EQ(big.image.at<cv::Vec4b>(4, 4), cv::Vec4b(255, 255, 255, 255));
}

TEST(Rotate, RefusesOtherFormatsAndNonFiniteAngles) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(6, 4, 9);
    auto out = orvextest::SolidFrame(6, 4, cv::Scalar::all(7));
    LogCapture cap;
    EXPECT_EQ(vp.Rotate(*in.frame, *out.frame, NAN, 1), InvalidArgument);
    EXPECT_EQ(vp.Rotate(*in.frame, *out.frame, INFINITY, 1), InvalidArgument);
    PlanarFrame a(YV12, 6, 4), b(YV12, 6, 4);
    EXPECT_EQ(vp.Rotate(a.frame, b.frame, 10, 1), WrongFormat);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(7, 7, 7, 7));
}

TEST(Flip, HorizontalAndVerticalOnHostFrames) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(5, 3, 4, 12);
    auto h = orvextest::SolidFrame(5, 3, cv::Scalar::all(0));
    auto v = orvextest::SolidFrame(5, 3, cv::Scalar::all(0));
    ASSERT_EQ(vp.HorizontalFlip(*in.frame, *h.frame), Ok);
    ASSERT_EQ(vp.VerticalFlip(*in.frame, *v.frame), Ok);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(h.image.at<cv::Vec4b>(y, x), in.image.at<cv::Vec4b>(y, 4 - x));
            EXPECT_EQ(v.image.at<cv::Vec4b>(y, x), in.image.at<cv::Vec4b>(2 - y, x));
        }
}

TEST(Flip, NonBGRAFailsAndSizesMustMatch) {
    VisualProcess vp;
    PlanarFrame a(YV12, 4, 4), b(YV12, 4, 4);
    LogCapture cap;
    EXPECT_EQ(vp.HorizontalFlip(a.frame, b.frame), Failed);
    auto in = orvextest::RandomFrame(5, 3, 4);
    auto out = orvextest::SolidFrame(4, 3, cv::Scalar::all(7));
    EXPECT_EQ(vp.VerticalFlip(*in.frame, *out.frame), InvalidArgument);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(7, 7, 7, 7));
}

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

// Every geometric operation, every format number 0..16, frames that are empty, that lack planes,
// whose pitches are shorter than a row, or that claim sizes past any real frame: each call must
// fail cleanly and leave the caller's memory alone.
TEST(GeometryInput, BadFramesFailWithoutCrashingOrWriting) {
    const std::function<ResultCode(VisualProcess&, EffectFrame&, EffectFrame&)> ops[] = {
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.Resize(a, b, 1, 2); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.Resize(a, b, 4, 0); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.CropFrame(a, fxRectf{0, 0, 1, 1}, b, 0); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.PixelRotate(a, b, 1); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.Rotate(a, b, 10, 1); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.HorizontalFlip(a, b); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.VerticalFlip(a, b); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.ResizeWithPrefilter(a, b); },
        [](VisualProcess& vp, EffectFrame& a, EffectFrame& b) { return vp.ResizeBlur(a, b, 4, 4, 1, 5); },
    };
    VisualProcess vp;
    std::vector<uint8_t> memory(64, 0x5A);
    LogCapture quiet;
    for (uint32_t fmt = 0; fmt <= 16; ++fmt) {
        EffectFrame empty;
        empty.pixel_fmt = fmt;
        EffectFrame noPlanes = empty;
        noPlanes.width[0] = noPlanes.height[0] = 8;
        EffectFrame shortPitch = noPlanes;
        for (int i = 0; i < 4; ++i) {
            shortPitch.data[i] = memory.data();
            shortPitch.pitch[i] = 1;
            shortPitch.height[i] = 8;
        }
        EffectFrame huge = shortPitch;
        huge.width[0] = huge.height[0] = 100000;
        huge.pitch[0] = 4;
        for (EffectFrame* f : {&empty, &noPlanes, &shortPitch, &huge}) {
            for (const auto& op : ops) {
                EffectFrame in = *f, out = *f;
                EXPECT_NE(op(vp, in, out), Ok) << "format " << fmt;
            }
        }
    }
    for (uint8_t b : memory) ASSERT_EQ(b, 0x5A);
}

}  // namespace
}  // namespace orvex
