// Resize, ResizeWithPrefilter and ResizeBlur on host frames: the window and filter choices, and
// pictures whose result is known by hand.
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "frames.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/ResizeOps.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::LogCapture;
using orvextest::PlanarFrame;

// --- choices shared by the CPU and GPU paths --------------------------------------------------------

struct WindowCase {
    int type, Win, Hin, Wout, Hout;
    cv::Rect expected;
};

const WindowCase kWindows[] = {
    // 4:3 into 16:9: h' = ceil(480*1280/640) = 960 > 720, so w' = ceil(640*720/480) = 960 and
    // x = (1280 - 960) >> 1 = 160: bars of 160 on both sides
    {1, 640, 480, 1280, 720, {160, 0, 960, 720}},
    // 16:9 into 4:3: h' = ceil(720*640/1280) = 360, y = (480 - 360) >> 1 = 60
    {1, 1280, 720, 640, 480, {0, 60, 640, 360}},
    // h' = ceil(3*10/7) = ceil(4.29) = 5 <= 5: full height
    {1, 7, 3, 10, 5, {0, 0, 10, 5}},
    // zoom, landscape output: h' = 640*640/640 = 640, y = (480 - 640) >> 1 = -80 (cropped)
    {4, 640, 640, 640, 480, {0, -80, 640, 640}},
    // zoom, portrait output: w' = 1280*640/720 = 1137, x = (480 - 1137) >> 1 = -329
    {4, 1280, 720, 480, 640, {-329, 0, 1137, 640}},
    // zoom of a thin picture keeps at least one column: 1*20/1000 = 0 -> 1, x = (10 - 1) >> 1 = 4
    {4, 1, 1000, 10, 20, {4, 0, 1, 20}},
    {0, 640, 480, 1280, 720, {0, 0, 1280, 720}},
    {2, 640, 480, 1280, 720, {0, 0, 1280, 720}},
    {3, 640, 480, 1280, 720, {0, 0, 1280, 720}},
    {-7, 640, 480, 1280, 720, {0, 0, 1280, 720}},
};

TEST(ResizeChoices, Windows) {
    for (const WindowCase& c : kWindows)
        EXPECT_EQ(ResizeWindow(c.type, c.Win, c.Hin, c.Wout, c.Hout), c.expected)
            << "type " << c.type << " " << c.Win << "x" << c.Hin << " -> " << c.Wout << "x" << c.Hout;
}

TEST(ResizeChoices, GpuKernelByQualityAndDirection) {
    EXPECT_STREQ(ResizeKernelFor(2, 1920, 1080, 1280, 720), "resizeAREA");
    EXPECT_STREQ(ResizeKernelFor(3, 1920, 1080, 1280, 720), "resizeAREA");
    EXPECT_STREQ(ResizeKernelFor(2, 1280, 720, 1920, 1080), "resize_cubic");
    EXPECT_STREQ(ResizeKernelFor(2, 1920, 1080, 960, 540), "resizeAREA_FAST");
    EXPECT_STREQ(ResizeKernelFor(2, 1920, 1080, 1920, 540), "resize_cubic") << "not smaller on both sides";
    EXPECT_STREQ(ResizeKernelFor(0, 1920, 1080, 1280, 720), "Resize_Mid_Low");
    EXPECT_STREQ(ResizeKernelFor(1, 1920, 1080, 1280, 720), "Resize_Mid_Low");
    EXPECT_STREQ(ResizeKernelFor(9, 1920, 1080, 1280, 720), "Resize_Mid_Low");
}

TEST(ResizeChoices, CpuInterpolationByQualityAndDirection) {
    EXPECT_EQ(ResizeInterpolationFor(2, 1920, 1080, 1280, 720), cv::INTER_AREA);
    EXPECT_EQ(ResizeInterpolationFor(2, 1280, 720, 1920, 1080), cv::INTER_CUBIC);
    EXPECT_EQ(ResizeInterpolationFor(3, 1280, 720, 1920, 1080), cv::INTER_LANCZOS4);
    EXPECT_EQ(ResizeInterpolationFor(3, 1920, 1080, 1280, 720), cv::INTER_AREA);
    EXPECT_EQ(ResizeInterpolationFor(0, 1920, 1080, 1280, 720), cv::INTER_NEAREST_EXACT);
    EXPECT_EQ(ResizeInterpolationFor(1, 1920, 1080, 1280, 720), cv::INTER_LINEAR);
    EXPECT_EQ(ResizeInterpolationFor(-1, 1920, 1080, 1280, 720), cv::INTER_LINEAR);
}

TEST(ResizeChoices, AreaTableOfThreeOntoTwo) {
    // Footprints of 1.5 samples: output 0 covers sample 0 whole and half of 1 (weights 1/1.5 and
    // 0.5/1.5), output 1 the other half of 1 and sample 2 whole.
    const AreaTable t = MakeAreaTable(3, 2);
    EXPECT_EQ(t.start, (std::vector<int32_t>{0, 2, 4}));
    EXPECT_EQ(t.src, (std::vector<int32_t>{0, 1, 1, 2}));
    ASSERT_EQ(t.alpha.size(), 4u);
    EXPECT_FLOAT_EQ(t.alpha[0], 2.0f / 3);
    EXPECT_FLOAT_EQ(t.alpha[1], 1.0f / 3);
    EXPECT_FLOAT_EQ(t.alpha[2], 1.0f / 3);
    EXPECT_FLOAT_EQ(t.alpha[3], 2.0f / 3);
    // Every output's weights add up to one.
    const AreaTable u = MakeAreaTable(1920, 1280);
    for (size_t d = 0; d + 1 < u.start.size(); ++d) {
        float sum = 0;
        for (int k = u.start[d]; k < u.start[d + 1]; ++k) sum += u.alpha[k];
        ASSERT_NEAR(sum, 1.0f, 1e-5f) << "output " << d;
    }
}

TEST(ResizeChoices, YuvFilters) {
    EXPECT_EQ(YuvFilterFor(0), 0);
    EXPECT_EQ(YuvFilterFor(1), 2) << "quality 1 is bilinear, not the library's horizontal-only linear";
    EXPECT_EQ(YuvFilterFor(2), 3);
    EXPECT_EQ(YuvFilterFor(3), 3);
    EXPECT_EQ(YuvFilterFor(12), 2);
}

// --- BGRA on the CPU -----------------------------------------------------------------------------------

TEST(ResizeBGRA, FitLeavesEqualTransparentBarsLeftAndRight) {
    VisualProcess vp;
    // 64 x 48 (4:3) into 128 x 72 (16:9): w' = ceil(64*72/48) = 96, bars of (128 - 96) / 2 = 16.
    auto in = orvextest::SolidFrame(64, 48, cv::Scalar(255, 255, 255, 255));
    auto out = orvextest::SolidFrame(128, 72, cv::Scalar(7, 7, 7, 7));
    ASSERT_EQ(vp.Resize(*in.frame, *out.frame, 1, 1), Ok);
    const cv::Vec4b clear(0, 0, 0, 0), white(255, 255, 255, 255);
    for (int y : {0, 35, 71}) {
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 15), clear);
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 16), white);
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 111), white);
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 112), clear);
    }
    EXPECT_EQ(cv::countNonZero(out.image.reshape(1) == 0), 2 * 16 * 72 * 4);
}

TEST(ResizeBGRA, AreaReductionOfThreeOntoTwoByHand) {
    VisualProcess vp;
    cv::Mat src(3, 3, CV_8UC4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) src.at<cv::Vec4b>(y, x) = cv::Vec4b(30 * (x + 1), 30 * (x + 1), 0, 255);
    auto in = orvextest::WrapFrame(src);
    auto out = orvextest::SolidFrame(2, 2, cv::Scalar::all(0));
    ASSERT_EQ(vp.Resize(*in, *out.frame, 0, 2), Ok);
    // 30*2/3 + 60/3 = 40 and 60/3 + 90*2/3 = 80 (rows are equal, so the vertical mix keeps them)
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(40, 40, 0, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(1, 1), cv::Vec4b(80, 80, 0, 255));
}

TEST(ResizeBGRA, NearestDoublingRepeatsEachPixel) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(2, 2, 3, 8);
    auto out = orvextest::SolidFrame(4, 4, cv::Scalar::all(0));
    ASSERT_EQ(vp.Resize(*in.frame, *out.frame, 0, 0), Ok);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(out.image.at<cv::Vec4b>(y, x), in.image.at<cv::Vec4b>(y / 2, x / 2)) << x << "," << y;
}

TEST(ResizeBGRA, ZoomCropsThePictureCentrally) {
    VisualProcess vp;
    // 2 x 2 into 2 x 4 (portrait): w' = 2*4/2 = 4, x = (2 - 4) >> 1 = -1, so output column c shows
    // scaled column c + 1.
    cv::Mat src(2, 2, CV_8UC4);
    src.at<cv::Vec4b>(0, 0) = src.at<cv::Vec4b>(1, 0) = cv::Vec4b(10, 10, 10, 255);
    src.at<cv::Vec4b>(0, 1) = src.at<cv::Vec4b>(1, 1) = cv::Vec4b(90, 90, 90, 255);
    auto in = orvextest::WrapFrame(src);
    auto out = orvextest::SolidFrame(2, 4, cv::Scalar::all(7));
    ASSERT_EQ(vp.Resize(*in, *out.frame, 4, 0), Ok);
    // scaled columns 0..3 read source floor((c + 0.5) / 2) = 0, 0, 1, 1: visible are 1 and 2
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 0), cv::Vec4b(10, 10, 10, 255));
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, 1), cv::Vec4b(90, 90, 90, 255));
    }
}

TEST(ResizeFormats, TwoAndTenAreNotHandledAndMismatchesAreRefused) {
    VisualProcess vp;
    for (uint32_t fmt : {uint32_t{PIXFMT_2}, uint32_t{PIXFMT_10}, uint32_t{15}, uint32_t{YUV422}}) {
        EffectFrame a, b;
        a.pixel_fmt = b.pixel_fmt = fmt;
        LogCapture cap;
        EXPECT_EQ(vp.Resize(a, b, 0, 1), FormatNotHandled) << fmt;
    }
    auto in = orvextest::SolidFrame(4, 4, cv::Scalar::all(1));
    PlanarFrame out(YV12, 4, 4);
    LogCapture cap;
    EXPECT_EQ(vp.Resize(*in.frame, out.frame, 0, 1), WrongFormat);
    EXPECT_TRUE(cap.Has("input format is not equal ouput format!", "orvex:Resize", 6)) << cap.Dump();
}

TEST(ResizeFormats, MissingPlanesFailWithoutWriting) {
    VisualProcess vp;
    auto in = orvextest::SolidFrame(4, 4, cv::Scalar::all(1));
    EffectFrame out = *in.frame;
    out.data[0] = nullptr;
    EXPECT_EQ(vp.Resize(*in.frame, out, 0, 1), InvalidArgument);
    PlanarFrame yIn(YV12, 8, 8), yOut(YV12, 4, 4);
    yOut.Fill([](int, int, int) { return 7; });
    yOut.frame.pitch[2] = 1;  // shorter than a chroma row
    EXPECT_EQ(vp.Resize(yIn.frame, yOut.frame, 0, 1), InvalidArgument);
    yOut.frame.pitch[2] = yOut.frame.pitch[1];
    yOut.frame.height[1] = 1;  // fewer rows than the plane needs
    EXPECT_EQ(vp.Resize(yIn.frame, yOut.frame, 0, 1), InvalidArgument);
    EXPECT_EQ(yOut.Get(0, 0, 0), 7);
}

// --- planar YUV on the CPU ------------------------------------------------------------------------------

TEST(ResizeYUV, YV12AndItsAlphaPlaneKeepFlatPlanesFlat) {
    VisualProcess vp;
    for (uint32_t fmt : {uint32_t{YV12}, uint32_t{YUVA420}}) {
        PlanarFrame in(fmt, 37, 23, true), out(fmt, 18, 30, true);
        in.Fill([](int p, int, int) { return p == 0 ? 81 : p == 1 ? 240 : p == 2 ? 90 : 200; });
        for (int q = 0; q < 4; ++q) {
            ASSERT_EQ(vp.Resize(in.frame, out.frame, 0, q), Ok) << fmt << " quality " << q;
            for (int p = 0; p < 4; ++p)
                for (int y = 0; y < out.rows[p]; ++y)
                    for (int x = 0; x < out.samples[p]; ++x)
                        ASSERT_EQ(out.Get(p, x, y), p == 0 ? 81 : p == 1 ? 240 : p == 2 ? 90 : 200)
                            << "plane " << p << " quality " << q;
            EXPECT_TRUE(out.GuardsIntact());
        }
    }
}

TEST(ResizeYUV, SixteenBitPlanesScaleBilinearlyWithCentresAligned) {
    VisualProcess vp;
    // Luma 100 x (a ramp): halving reads ((x + 0.5) * 2 - 0.5) = 2x + 0.5, so 50, 250, 450, 650.
    PlanarFrame in(YV12P10, 8, 4), out(YV12P10, 4, 2);
    in.Fill([](int p, int x, int) { return p == 0 ? 100 * x : 512; });
    ASSERT_EQ(vp.Resize(in.frame, out.frame, 0, 1), Ok);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out.Get(0, x, 1), 50 + 200 * x);
    EXPECT_EQ(out.Get(1, 1, 0), 512);
    EXPECT_TRUE(out.GuardsIntact());
}

struct NV12WindowCase {
    uint32_t fmt;
    int black, neutral, luma, u, v;
};

TEST(ResizeYUV, NV12FitPlacesThePictureInAnEvenCentredWindow) {
    VisualProcess vp;
    const NV12WindowCase cases[] = {{NV12, 16, 128, 200, 60, 190}, {P010, 16 << 8, 0x8000, 50000, 20000, 40000}};
    for (const NV12WindowCase& c : cases) {
        // 8 x 4 into 8 x 8: h' = ceil(4*8/8) = 4, y = (8 - 4) >> 1 = 2: luma rows 2..5, chroma rows 1, 2.
        PlanarFrame in(c.fmt, 8, 4), out(c.fmt, 8, 8);
        in.Fill([&](int p, int x, int) { return p == 0 ? c.luma : x % 2 == 0 ? c.u : c.v; });
        ASSERT_EQ(vp.Resize(in.frame, out.frame, 1, 1), Ok);
        for (int y = 0; y < 8; ++y) EXPECT_EQ(out.Get(0, 3, y), y >= 2 && y < 6 ? c.luma : c.black) << "row " << y;
        for (int y = 0; y < 4; ++y) {
            const bool inside = y == 1 || y == 2;
            EXPECT_EQ(out.Get(1, 2, y), inside ? c.u : c.neutral) << "chroma row " << y;
            EXPECT_EQ(out.Get(1, 3, y), inside ? c.v : c.neutral) << "chroma row " << y;
        }
        EXPECT_TRUE(out.GuardsIntact());
    }
}

TEST(ResizeYUV, NV12ZoomCropsCentrally) {
    VisualProcess vp;
    // 8 x 4 into 4 x 8 (portrait): w' = 8*8/4 = 16, x = (4 - 16) >> 1 = -6. Scaled columns 6..9
    // read source floor((c + 0.5) / 2) = 3, 3, 4, 4: the left half (50) then the right (150).
    PlanarFrame in(NV12, 8, 4), out(NV12, 4, 8);
    in.Fill([](int p, int x, int) { return p == 0 ? (x < 4 ? 50 : 150) : 128; });
    ASSERT_EQ(vp.Resize(in.frame, out.frame, 4, 0), Ok);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(out.Get(0, 0, y), 50);
        EXPECT_EQ(out.Get(0, 1, y), 50);
        EXPECT_EQ(out.Get(0, 2, y), 150);
        EXPECT_EQ(out.Get(0, 3, y), 150);
    }
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(ResizeYUV, NV12MismatchedFormatsAreRefused) {
    VisualProcess vp;
    PlanarFrame in(NV12, 8, 4), out(P010, 8, 4);
    LogCapture cap;
    // Formats must match before anything else: the generic check answers first.
    EXPECT_EQ(vp.Resize(in.frame, out.frame, 0, 1), WrongFormat);
    EXPECT_TRUE(cap.Has("input format is not equal ouput format!", "orvex:Resize", 6)) << cap.Dump();
}

// --- reductions with a pre-blur ---------------------------------------------------------------------------

TEST(ResizeBlur, AQuarterOfTheAreaBlursWithRadiusOne) {
    VisualProcess vp;
    // sqrt(40000 / 10000) = 2, >> 1 = 1: a 3 x 3 mean. One white pixel spreads to its eight
    // neighbours as 255/9 = 28.3 -> 28, and no further.
    auto in = orvextest::SolidFrame(200, 200, cv::Scalar(0, 0, 0, 255));
    in.image.at<cv::Vec4b>(100, 100) = cv::Vec4b(255, 255, 255, 255);
    auto out = orvextest::SolidFrame(200, 200, cv::Scalar::all(7));
    ASSERT_EQ(vp.ResizeBlur(*in.frame, *out.frame, 100, 100, 0, 5), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(99, 99), cv::Vec4b(28, 28, 28, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(100, 101), cv::Vec4b(28, 28, 28, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(100, 102), cv::Vec4b(0, 0, 0, 255));
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 0, 255));
}

TEST(ResizeBlur, CopiesWhenNoBlurIsNeededOrAllowed) {
    VisualProcess vp;
    auto in = orvextest::RandomFrame(200, 120, 5);
    auto out = orvextest::SolidFrame(200, 120, cv::Scalar::all(7));
    ASSERT_EQ(vp.ResizeBlur(*in.frame, *out.frame, 20, 12, 1, 0), Ok);  // maxRadius 0
    EXPECT_EQ(cv::norm(in.image, out.image, cv::NORM_INF), 0.0);
    auto small = orvextest::RandomFrame(60, 60, 6);
    auto smallOut = orvextest::SolidFrame(60, 60, cv::Scalar::all(7));
    ASSERT_EQ(vp.ResizeBlur(*small.frame, *smallOut.frame, 10, 10, 0, 5), Ok);  // under 100 wide
    EXPECT_EQ(cv::norm(small.image, smallOut.image, cv::NORM_INF), 0.0);
}

TEST(ResizeBlur, BlursInPlaceAndRefusesBadTargets) {
    VisualProcess vp;
    auto frame = orvextest::SolidFrame(120, 120, cv::Scalar(0, 0, 0, 255));
    frame.image.at<cv::Vec4b>(60, 60) = cv::Vec4b(255, 255, 255, 255);
    ASSERT_EQ(vp.ResizeBlur(*frame.frame, *frame.frame, 60, 60, 0, 5), Ok);
    EXPECT_EQ(frame.image.at<cv::Vec4b>(61, 61), cv::Vec4b(28, 28, 28, 255));
    auto out = orvextest::SolidFrame(120, 120, cv::Scalar::all(7));
    LogCapture cap;
    EXPECT_EQ(vp.ResizeBlur(*frame.frame, *out.frame, 0, 60, 0, 5), InvalidArgument);
    auto other = orvextest::SolidFrame(100, 120, cv::Scalar::all(7));
    EXPECT_EQ(vp.ResizeBlur(*frame.frame, *other.frame, 60, 60, 0, 5), InvalidArgument);
    EXPECT_EQ(out.image.at<cv::Vec4b>(0, 0), cv::Vec4b(7, 7, 7, 7));
}

TEST(ResizeWithPrefilter, ThinLinesSurviveAReductionThatWouldSkipThem) {
    VisualProcess vp;
    // 400 x 400 -> 100 x 100: sqrt(16) = 4, >> 1 = 2, a 5 x 5 box. Lines on every 4th column:
    // plain bilinear would read columns 4x + 1 and 4x + 2 (both dark) and lose them. After the
    // box, column 4x + 1 holds 255/5 = 51 and 4x + 2 holds 2*255/5 = 102; their mix is 76.5.
    auto in = orvextest::SolidFrame(400, 400, cv::Scalar(0, 0, 0, 255));
    for (int x = 0; x < 400; x += 4) in.image.col(x).setTo(cv::Scalar(255, 255, 255, 255));
    auto out = orvextest::SolidFrame(100, 100, cv::Scalar::all(7));
    ASSERT_EQ(vp.ResizeWithPrefilter(*in.frame, *out.frame), Ok);
    for (int x = 1; x < 99; x += 13) {
        const int v = out.image.at<cv::Vec4b>(50, x)[0];
        EXPECT_TRUE(v == 76 || v == 77) << "column " << x << ": " << v;
    }
    EXPECT_EQ(out.image.at<cv::Vec4b>(50, 50)[3], 255);
}

TEST(ResizeWithPrefilter, SmallReductionsResizeDirectlyAndOtherFormatsAreRefused) {
    VisualProcess vp;
    auto in = orvextest::SolidFrame(30, 30, cv::Scalar(10, 20, 30, 40));
    auto out = orvextest::SolidFrame(20, 20, cv::Scalar::all(0));
    ASSERT_EQ(vp.ResizeWithPrefilter(*in.frame, *out.frame), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(10, 10), cv::Vec4b(10, 20, 30, 40));
    PlanarFrame yv(YV12, 8, 8), yvOut(YV12, 4, 4);
    LogCapture cap;
    EXPECT_EQ(vp.ResizeWithPrefilter(yv.frame, yvOut.frame), WrongFormat);
}

}  // namespace
}  // namespace orvex
