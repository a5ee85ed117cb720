// CPU layer blending: every body's per-pixel rule on hand-made pixels, the stripes, the mask and
// YV12 blends. M[x][y] = round(x*y/255) is written out in each comment.
#include <array>
#include <cctype>
#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imagecpu/BlendTables.h"
#include "imagecpu/LayerBlend.h"

namespace orvex {
namespace {

using Px = std::array<int, 4>;  // B, G, R, A

cv::Mat OnePixel(const Px& p) { return cv::Mat(1, 1, CV_8UC4, cv::Scalar(p[0], p[1], p[2], p[3])); }

Px Read(const cv::Mat& m, int x = 0, int y = 0) {
    const cv::Vec4b v = m.at<cv::Vec4b>(y, x);
    return {v[0], v[1], v[2], v[3]};
}

std::string Show(const Px& p) {
    return "(" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," +
           std::to_string(p[3]) + ")";
}

struct PixelCase {
    const char* name;
    int mode;
    bool premultiplied;
    int opacity;
    Px overlay, background;
    Px inPlace;  // the background after the in-place blend
    Px alone;    // the separate output
};

const PixelCase kPixelCases[] = {
    // a' = M[128][255] = 128; L = (o*128 + d*127) div 255: 26870/255 = 105, 15340/255 = 60,
    // 10210/255 = 40; alpha union 128 + 127*255/255 = 255
    {"straight half alpha", 0, false, 255, {200, 100, 50, 128}, {10, 20, 30, 255}, {105, 60, 40, 255},
     {105, 60, 40, 255}},
    {"straight alpha 0 skipped", 0, false, 255, {200, 100, 50, 0}, {10, 20, 30, 40}, {10, 20, 30, 40},
     {10, 20, 30, 40}},
    // a' = M[1][100] = 227/255 = 0: skipped
    {"straight opacity takes alpha to 0", 0, false, 100, {200, 100, 50, 1}, {10, 20, 30, 40}, {10, 20, 30, 40},
     {10, 20, 30, 40}},
    // a' = M[255][128] = 128; B 255*128/255 = 128; alpha union 128 + 127*0 = 128
    {"straight over transparent", 0, false, 128, {255, 0, 0, 255}, {0, 0, 0, 0}, {128, 0, 0, 128},
     {128, 0, 0, 128}},
    // a' = 128, inv 127: M[200][127] = 25527/255 = 100, plus M[o][255] = o; alpha 128 + 100
    {"premultiplied", 0, true, 255, {100, 50, 0, 128}, {200, 200, 200, 200}, {200, 150, 100, 228},
     {200, 150, 100, 228}},
    // a' = M[128][128] = 16511/255 = 64, inv 191: M[200][191] = 38327/255 = 150; M[100][128] = 50,
    // M[50][128] = 25; alpha 64 + 150
    {"premultiplied half opacity", 0, true, 128, {100, 50, 0, 128}, {200, 200, 200, 200}, {200, 175, 150, 214},
     {200, 175, 150, 214}},
    {"premultiplied alpha 0 skipped", 0, true, 255, {90, 90, 90, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
    // multiply, opaque: T = M[d][o]: M[100][255] = 100, M[100][128] = 12927/255 = 50, 0; in place the
    // alpha goes through the table too (M[200][255] = 200), the separate output takes a' + M[200][0]
    {"multiply", 2, false, 255, {255, 128, 0, 255}, {100, 100, 100, 200}, {100, 50, 0, 200}, {100, 50, 0, 255}},
    // a' = 128, inv 127: B M[100][128] + M[100][127] = 50 + 50; G M[50][128] + 50 = 25 + 50;
    // R 0 + 50; alpha in place M[200][128] + M[200][127] = 100 + 100, separate 128 + 100
    {"multiply half opacity", 2, false, 128, {255, 128, 0, 255}, {100, 100, 100, 200}, {100, 75, 50, 200},
     {100, 75, 50, 228}},
    // hard mix: 126 + 127 = 253 -> 0, 100 + 154 = 254 -> 255, 255 + 0 -> 255
    {"hard mix threshold", 14, false, 255, {127, 154, 0, 255}, {126, 100, 255, 255}, {0, 255, 255, 255},
     {0, 255, 255, 255}},
    // colour burn with overlay byte 0 is 0 even on white
    {"colour burn of 0", 3, false, 255, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}},
    // colour dodge with overlay byte 255 is 255 whatever the background
    {"colour dodge of 255", 6, false, 255, {255, 255, 255, 255}, {0, 10, 200, 255}, {255, 255, 255, 255},
     {255, 255, 255, 255}},
    {"table mode alpha 0 skipped", 5, false, 255, {50, 50, 50, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
    // add: min(x + y, 255)
    {"add", 23, false, 255, {100, 200, 0, 255}, {100, 100, 5, 255}, {200, 255, 5, 255}, {200, 255, 5, 255}},
    // hollow in: M[d][128]: 25727/255 = 100, 50, 25, 32767/255 = 128
    {"hollow in", 19, false, 255, {9, 9, 9, 128}, {200, 100, 50, 255}, {100, 50, 25, 128}, {100, 50, 25, 128}},
    {"hollow in clears under alpha 0", 19, false, 255, {9, 9, 9, 0}, {200, 100, 50, 255}, {0, 0, 0, 0},
     {0, 0, 0, 0}},
    {"hollow out takes overlay on alpha 0", 20, false, 255, {1, 2, 3, 0}, {7, 7, 7, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}},
    {"hollow out opaque overlay", 20, false, 255, {1, 2, 3, 255}, {200, 100, 50, 255}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    // M[d][127]: 100, 12827/255 = 50, 6477/255 = 25, 32512/255 = 127
    {"hollow out half", 20, false, 255, {1, 2, 3, 128}, {200, 100, 50, 255}, {100, 50, 25, 127},
     {100, 50, 25, 127}},
    // M[o][128]: 100, 50, 25, 0
    {"background hollow in", 21, false, 255, {200, 100, 50, 0}, {1, 2, 3, 128}, {100, 50, 25, 0}, {100, 50, 25, 0}},
    {"replace copies a transparent pixel", 22, false, 255, {1, 2, 3, 0}, {9, 9, 9, 9}, {1, 2, 3, 0}, {1, 2, 3, 0}},
    // 18 and 24 take the normal body (the "straight half alpha" numbers)
    {"mode 18 is normal", 18, false, 255, {200, 100, 50, 128}, {10, 20, 30, 255}, {105, 60, 40, 255},
     {105, 60, 40, 255}},
    {"mode 24 is normal", 24, false, 255, {200, 100, 50, 128}, {10, 20, 30, 255}, {105, 60, 40, 255},
     {105, 60, 40, 255}},
    {"negative mode is normal", -3, true, 255, {100, 50, 0, 128}, {200, 200, 200, 200}, {200, 150, 100, 228},
     {200, 150, 100, 228}},
};

class PixelRule : public ::testing::TestWithParam<PixelCase> {};

TEST_P(PixelRule, InPlaceSeparateAndSinglePixelAgreeWithTheHandValue) {
    const PixelCase& c = GetParam();
    cv::Mat overlay = OnePixel(c.overlay), background = OnePixel(c.background), out = OnePixel({7, 7, 7, 7});
    ASSERT_TRUE(BlendLayersAlone(overlay, background, out, c.mode, static_cast<uint8_t>(c.opacity), c.premultiplied, 1));
    EXPECT_EQ(Read(out), c.alone) << "separate: " << Show(Read(out));
    EXPECT_EQ(Read(background), c.background) << "the separate blend wrote its background";

    ASSERT_TRUE(BlendLayers(overlay, background, c.mode, static_cast<uint8_t>(c.opacity), c.premultiplied, 3));
    EXPECT_EQ(Read(background), c.inPlace) << "in place: " << Show(Read(background));

    uint8_t px[4] = {static_cast<uint8_t>(c.background[0]), static_cast<uint8_t>(c.background[1]),
                     static_cast<uint8_t>(c.background[2]), static_cast<uint8_t>(c.background[3])};
    const uint8_t o[4] = {static_cast<uint8_t>(c.overlay[0]), static_cast<uint8_t>(c.overlay[1]),
                          static_cast<uint8_t>(c.overlay[2]), static_cast<uint8_t>(c.overlay[3])};
    BlendOnePixel(o, px, c.mode, static_cast<uint8_t>(c.opacity), c.premultiplied);
    EXPECT_EQ((Px{px[0], px[1], px[2], px[3]}), c.inPlace) << "single pixel";
}

INSTANTIATE_TEST_SUITE_P(Bodies, PixelRule, ::testing::ValuesIn(kPixelCases),
                         [](const ::testing::TestParamInfo<PixelCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(LayerBlendTables, RowReadsAndTheOpaqueShortcutKeepTheTableValues) {
    // The bodies read M along rows (M[x][y] as row y at x), which relies on M being symmetric.
    const uint8_t* M = MulTable();
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < x; ++y) ASSERT_EQ(M[x * 256 + y], M[y * 256 + x]) << x << "," << y;
    // Opaque overlays under full opacity take the straight body's shortcut; it must give the
    // table values: L[p][q][255] = p, alpha union [255][q] = 255.
    cv::Mat overlay = OnePixel({12, 34, 56, 255}), background = OnePixel({200, 100, 50, 7});
    ASSERT_TRUE(BlendLayers(overlay, background, 0, 255, false, 1));
    EXPECT_EQ(Read(background), (Px{12, 34, 56, 255}));
}

TEST(LayerBlendTables, StraightNormalGivesTheInterpolationTableForEveryByteAndWeight) {
    // Overlay byte p = column, background byte q = row, overlay alpha k (opacity 255, so a' = k):
    // every colour byte must be L[p][q][k] exactly, alpha the alpha union [k][q].
    const uint8_t* L = GetBlendTables().lerp();
    const uint8_t* U = GetBlendTables().table(kTableAlphaUnion);
    cv::Mat overlay(256, 256, CV_8UC4), base(256, 256, CV_8UC4), work;
    for (int q = 0; q < 256; ++q)
        for (int p = 0; p < 256; ++p) {
            overlay.at<cv::Vec4b>(q, p) = cv::Vec4b(p, 255 - p, p, 0);
            base.at<cv::Vec4b>(q, p) = cv::Vec4b(q, q, 255 - q, q);
        }
    for (int k = 1; k < 256; ++k) {
        cv::Mat alpha = overlay.clone();
        for (int q = 0; q < 256; ++q)
            for (int p = 0; p < 256; ++p) alpha.at<cv::Vec4b>(q, p)[3] = static_cast<uint8_t>(k);
        base.copyTo(work);
        ASSERT_TRUE(BlendLayers(alpha, work, 0, 255, false, 4));
        for (int q = 0; q < 256; ++q)
            for (int p = 0; p < 256; ++p) {
                const cv::Vec4b r = work.at<cv::Vec4b>(q, p);
                auto l = [&](int a, int b) { return L[static_cast<size_t>(a * 256 + b) * kLerpRowBytes + k]; };
                ASSERT_EQ(r[0], l(p, q)) << "p " << p << " q " << q << " k " << k;
                ASSERT_EQ(r[1], l(255 - p, q)) << "p " << 255 - p << " q " << q << " k " << k;
                ASSERT_EQ(r[2], l(p, 255 - q)) << "p " << p << " q " << 255 - q << " k " << k;
                ASSERT_EQ(r[3], U[k * 256 + q]) << "k " << k << " q " << q;
            }
    }
}

TEST(LayerBlendTables, YV12MixGivesTheInterpolationTableForEveryOpacity) {
    const uint8_t* L = GetBlendTables().lerp();
    cv::Mat a(256, 256, CV_8UC1), b(256, 256, CV_8UC1), c(1, 1, CV_8UC1, cv::Scalar(0)), o(256, 256, CV_8UC1);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) a.at<uint8_t>(y, x) = static_cast<uint8_t>(x), b.at<uint8_t>(y, x) = static_cast<uint8_t>(y);
    cv::Mat cu(1, 1, CV_8UC1), cv_(1, 1, CV_8UC1);
    for (int k = 0; k < 256; k += 5) {
        ASSERT_TRUE(BlendYV12(a, c, c, b, c, c, o, cu, cv_, static_cast<uint8_t>(k), 8));
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(o.at<uint8_t>(y, x), L[static_cast<size_t>(x * 256 + y) * kLerpRowBytes + k])
                    << x << " over " << y << " at " << k;
    }
}

// --- solid colour -------------------------------------------------------------------------------------

struct SolidCase {
    const char* name;
    int mode;
    bool premultiplied;
    uint32_t colour;  // 0xAABBGGRR
    Px frame, expected;
};

const SolidCase kSolidCases[] = {
    // colour (B 30, G 20, R 10, A 255); a' = 128: (200*128 + 30*127)/255 = 29410/255 = 115,
    // 15340/255 = 60, 7670/255 = 30; alpha union 255
    {"straight", 0, false, 0xFF1E140A, {200, 100, 50, 128}, {115, 60, 30, 255}},
    {"straight shows the colour under alpha 0", 0, false, 0xFF1E140A, {200, 100, 50, 0}, {30, 20, 10, 255}},
    // colour (B 50, G 100, R 200, A 128) premultiplied once: M[50][128] = 25, M[100][128] = 50,
    // M[200][128] = 100
    {"premultiplied shows the premultiplied colour", 0, true, 0x803264C8, {0, 0, 0, 0}, {25, 50, 100, 128}},
    {"premultiplied opaque frame", 0, true, 0x803264C8, {100, 50, 0, 255}, {100, 50, 0, 255}},
    {"table mode shows the colour under alpha 0", 2, false, 0xFF1E140A, {255, 128, 0, 0}, {30, 20, 10, 255}},
    // multiply, opaque: M[30][255] = 30, M[20][128] = 2687/255 = 10, M[10][0] = 0; alpha 255
    {"table mode", 2, false, 0xFF1E140A, {255, 128, 0, 255}, {30, 10, 0, 255}},
    {"replace leaves the frame", 22, false, 0xFF1E140A, {1, 2, 3, 0}, {1, 2, 3, 0}},
    // hollow in: M[colour][frame alpha 128]: 3967/255 = 15, 10, 1407/255 = 5, 128
    {"hollow in", 19, false, 0xFF1E140A, {9, 9, 9, 128}, {15, 10, 5, 128}},
    // hollow out: colour alpha 255, frame alpha 255 -> M[colour][0] = 0
    {"hollow out", 20, false, 0xFF1E140A, {9, 9, 9, 255}, {0, 0, 0, 0}},
    {"hollow out on a transparent colour keeps the frame", 20, false, 0x001E140A, {9, 8, 7, 6}, {9, 8, 7, 6}},
    // background hollow in: M[frame][colour alpha 128]: 100, 50, 25, 0
    {"background hollow in", 21, false, 0x801E140A, {200, 100, 50, 0}, {100, 50, 25, 0}},
};

class SolidRule : public ::testing::TestWithParam<SolidCase> {};

TEST_P(SolidRule, HandValue) {
    const SolidCase& c = GetParam();
    cv::Mat frame = OnePixel(c.frame);
    ASSERT_TRUE(BlendSolidColor(frame, c.colour, c.mode, 255, c.premultiplied, 1));
    EXPECT_EQ(Read(frame), c.expected) << Show(Read(frame));
}

INSTANTIATE_TEST_SUITE_P(Bodies, SolidRule, ::testing::ValuesIn(kSolidCases),
                         [](const ::testing::TestParamInfo<SolidCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(LayerBlendStripes, EveryRowIsBlendedWhenTheImageIsShorterThanTheStripes) {
    cv::Mat overlay(3, 5, CV_8UC4, cv::Scalar(1, 2, 3, 0));
    cv::Mat background(3, 5, CV_8UC4, cv::Scalar(9, 9, 9, 9));
    ASSERT_TRUE(BlendLayers(overlay, background, 22, 255, false, 8));
    EXPECT_EQ(cv::norm(overlay, background, cv::NORM_INF), 0.0);
}

TEST(LayerBlendStripes, StripeCountDoesNotChangeTheResult) {
    cv::Mat overlay(37, 29, CV_8UC4), base(37, 29, CV_8UC4);
    cv::randu(overlay, 0, 256);
    cv::randu(base, 0, 256);
    for (int mode : {0, 2, 9, 19, 20, 21}) {
        cv::Mat one = base.clone(), many = base.clone();
        BlendLayers(overlay, one, mode, 200, mode == 2, 1);
        BlendLayers(overlay, many, mode, 200, mode == 2, 16);
        EXPECT_EQ(cv::norm(one, many, cv::NORM_INF), 0.0) << "mode " << mode;
    }
}

// --- bad input ------------------------------------------------------------------------------------------

TEST(LayerBlendInput, MismatchedOrEmptyImagesAreRefusedUntouched) {
    cv::Mat overlay(4, 4, CV_8UC4, cv::Scalar::all(200)), background(4, 5, CV_8UC4, cv::Scalar::all(9));
    cv::Mat out(4, 5, CV_8UC4, cv::Scalar::all(7));
    EXPECT_FALSE(BlendLayers(overlay, background, 0, 255, false, 1));
    EXPECT_FALSE(BlendLayersAlone(overlay, background, out, 0, 255, false, 1));
    cv::Mat threeChannel(4, 4, CV_8UC3), empty;
    EXPECT_FALSE(BlendLayers(threeChannel, threeChannel, 0, 255, false, 1));
    EXPECT_FALSE(BlendSolidColor(empty, 0, 0, 255, false, 1));
    EXPECT_FALSE(IgnoreAlpha(overlay, background, 1));
    EXPECT_EQ(cv::norm(background, cv::Mat(4, 5, CV_8UC4, cv::Scalar::all(9)), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(out, cv::Mat(4, 5, CV_8UC4, cv::Scalar::all(7)), cv::NORM_INF), 0.0);
    BlendOnePixel(nullptr, nullptr, 0, 255, false);  // nothing to do, nothing to crash
}

// --- mask blend --------------------------------------------------------------------------------------------

struct MaskCase {
    const char* name;
    int mode;
    Px overlay, background, expected;
};

const MaskCase kMaskCases[] = {
    {"0: overlay alpha 0 clears", 0, {1, 2, 3, 0}, {50, 60, 70, 80}, {0, 0, 0, 0}},
    {"0: zero background stays zero", 0, {1, 2, 3, 200}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    // 100*50/150 = 33 -> 2*(33/2) = 32 (even: the background was not opaque)
    {"0: both translucent", 0, {1, 2, 3, 100}, {50, 60, 70, 50}, {50, 60, 70, 32}},
    // 100*255/355 = 71 -> 2*(71/2) + 1 = 71 (odd: the background was opaque)
    {"0: opaque background", 0, {1, 2, 3, 100}, {50, 60, 70, 255}, {50, 60, 70, 71}},
    {"0: opaque overlay clears the low bit", 0, {1, 2, 3, 255}, {50, 60, 70, 201}, {50, 60, 70, 200}},
    {"0: both opaque", 0, {1, 2, 3, 255}, {50, 60, 70, 255}, {50, 60, 70, 255}},
    // r = 0.5: 10*0.5 + 21*0.5 = 15.5 -> 16 (even), 11/20 -> 16, 10/19 = 14.5 -> 14 (even);
    // alpha 100 + 100
    {"1: halves round to even", 1, {10, 11, 10, 100}, {21, 20, 19, 100}, {16, 16, 14, 200}},
    {"1: two odd alphas give 255", 1, {80, 80, 80, 101}, {80, 80, 80, 51}, {80, 80, 80, 255}},
    {"1: two zero alphas give zero", 1, {80, 80, 80, 0}, {90, 90, 90, 0}, {0, 0, 0, 0}},
    {"2: opaque overlay copies it", 2, {10, 20, 30, 255}, {200, 200, 200, 100}, {10, 20, 30, 255}},
    // M[128][o] + M[127][g]: 100 + 50, 50 + 50, 0 + 50; alpha M[127][255] + 128 = 255
    {"2: half over", 2, {200, 100, 0, 128}, {100, 100, 100, 255}, {150, 100, 50, 255}},
};

class MaskRule : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskRule, HandValue) {
    const MaskCase& c = GetParam();
    cv::Mat overlay = OnePixel(c.overlay), background = OnePixel(c.background), out = OnePixel({7, 7, 7, 7});
    ASSERT_TRUE(BlendMaskLayers(overlay, background, out, fxRectf{0, 0, 1, 1}, fxRectf{0, 0, 1, 1}, c.mode));
    EXPECT_EQ(Read(out), c.expected) << Show(Read(out));
}

INSTANTIATE_TEST_SUITE_P(Modes, MaskRule, ::testing::ValuesIn(kMaskCases),
                         [](const ::testing::TestParamInfo<MaskCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(MaskBlend, RegionsPlaceTheOverlayCornerAtTheBackgroundRegion) {
    cv::Mat overlay(4, 4, CV_8UC4), background(4, 4, CV_8UC4, cv::Scalar(1, 1, 1, 255));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) overlay.at<cv::Vec4b>(y, x) = cv::Vec4b(10 * x, 10 * y, 0, 255);
    cv::Mat out(4, 4, CV_8UC4, cv::Scalar::all(7));
    // background region (0.5*4 + 0.5 = 2, 2, 2, 2); overlay region (0, 0, 2, 2)
    ASSERT_TRUE(BlendMaskLayers(overlay, background, out, fxRectf{0, 0, 0.5f, 0.5f}, fxRectf{0.5f, 0.5f, 0.5f, 0.5f}, 2));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const Px expected = x >= 2 && y >= 2 ? Px{10 * (x - 2), 10 * (y - 2), 0, 255} : Px{7, 7, 7, 7};
            EXPECT_EQ(Read(out, x, y), expected) << x << "," << y;
        }
}

TEST(MaskBlend, LargeAreaRunsInStripesWithTheSameRule) {
    cv::Mat overlay(120, 100, CV_8UC4), background(120, 100, CV_8UC4);
    cv::randu(overlay, 0, 256);
    cv::randu(background, 0, 256);
    cv::Mat out(120, 100, CV_8UC4, cv::Scalar::all(0));
    ASSERT_TRUE(BlendMaskLayers(overlay, background, out, fxRectf{0, 0, 1, 1}, fxRectf{0, 0, 1, 1}, 2));
    for (int y = 0; y < 120; y += 7)
        for (int x = 0; x < 100; x += 3) {
            cv::Mat o = overlay(cv::Rect(x, y, 1, 1)).clone(), g = background(cv::Rect(x, y, 1, 1)).clone();
            cv::Mat one = OnePixel({0, 0, 0, 0});
            BlendMaskLayers(o, g, one, fxRectf{0, 0, 1, 1}, fxRectf{0, 0, 1, 1}, 2);
            ASSERT_EQ(Read(out, x, y), Read(one)) << x << "," << y;
        }
}

TEST(MaskBlend, UnknownModeAndNonFiniteRegionsAreSafe) {
    cv::Mat a(4, 4, CV_8UC4, cv::Scalar::all(100)), out(4, 4, CV_8UC4, cv::Scalar::all(7));
    EXPECT_FALSE(BlendMaskLayers(a, a, out, fxRectf{0, 0, 1, 1}, fxRectf{0, 0, 1, 1}, 3));
    EXPECT_TRUE(BlendMaskLayers(a, a, out, fxRectf{NAN, 0, 1, 1}, fxRectf{0, 0, 1, 1}, 2));
    EXPECT_TRUE(BlendMaskLayers(a, a, out, fxRectf{-5, -5, 100, 100}, fxRectf{0.9f, 0.9f, 9, 9}, 2));
    // only the clipped background region (4*0.9 + 0.5 = 4 -> empty) could change: nothing did
    EXPECT_EQ(cv::norm(out, cv::Mat(4, 4, CV_8UC4, cv::Scalar::all(7)), cv::NORM_INF), 0.0);
}

// --- YV12 blend and the alpha fix-ups ----------------------------------------------------------------------

TEST(YV12Blend, OpacityEndsReproduceEachPictureAndTheMiddleMixes) {
    for (const cv::Size y : {cv::Size(4, 4), cv::Size(200, 100)}) {  // serial, and striped (> 10,000)
        const cv::Size c((y.width + 1) / 2, (y.height + 1) / 2);
        cv::Mat y1(y, CV_8UC1), u1(c, CV_8UC1), v1(c, CV_8UC1), y2(y, CV_8UC1), u2(c, CV_8UC1), v2(c, CV_8UC1);
        cv::randu(y1, 0, 256), cv::randu(u1, 0, 256), cv::randu(v1, 0, 256);
        cv::randu(y2, 0, 256), cv::randu(u2, 0, 256), cv::randu(v2, 0, 256);
        cv::Mat yo(y, CV_8UC1), uo(c, CV_8UC1), vo(c, CV_8UC1);
        ASSERT_TRUE(BlendYV12(y1, u1, v1, y2, u2, v2, yo, uo, vo, 255, 4));
        EXPECT_EQ(cv::norm(yo, y1, cv::NORM_INF) + cv::norm(uo, u1, cv::NORM_INF) + cv::norm(vo, v1, cv::NORM_INF), 0);
        ASSERT_TRUE(BlendYV12(y1, u1, v1, y2, u2, v2, yo, uo, vo, 0, 4));
        EXPECT_EQ(cv::norm(yo, y2, cv::NORM_INF) + cv::norm(uo, u2, cv::NORM_INF) + cv::norm(vo, v2, cv::NORM_INF), 0);
    }
    // (200*128 + 100*127) div 255 = 38300/255 = 150
    cv::Mat a(2, 2, CV_8UC1, cv::Scalar(200)), b(2, 2, CV_8UC1, cv::Scalar(100)), o(2, 2, CV_8UC1);
    cv::Mat ca(1, 1, CV_8UC1, cv::Scalar(200)), cb(1, 1, CV_8UC1, cv::Scalar(100)), cu(1, 1, CV_8UC1), cv_(1, 1, CV_8UC1);
    ASSERT_TRUE(BlendYV12(a, ca, ca, b, cb, cb, o, cu, cv_, 128, 1));
    EXPECT_EQ(o.at<uint8_t>(1, 1), 150);
    EXPECT_EQ(cu.at<uint8_t>(0, 0), 150);
    EXPECT_EQ(cv_.at<uint8_t>(0, 0), 150);
    EXPECT_FALSE(BlendYV12(a, ca, ca, b, cb, cb, o, o, cv_, 128, 1)) << "chroma planes of another size";
}

TEST(AlphaFixUps, IgnoreAlphaAndAlphaMultiply) {
    cv::Mat src = OnePixel({200, 100, 50, 128}), dst = OnePixel({0, 0, 0, 0});
    ASSERT_TRUE(IgnoreAlpha(src, dst, 4));
    EXPECT_EQ(Read(dst), (Px{200, 100, 50, 255}));
    // M[200][128] = 100, M[100][128] = 50, M[50][128] = 25
    ASSERT_TRUE(AlphaMultiply(src, dst));
    EXPECT_EQ(Read(dst), (Px{100, 50, 25, 128}));
    cv::Mat tall(3, 2, CV_8UC4, cv::Scalar(255, 255, 255, 51)), tallOut(3, 2, CV_8UC4);
    ASSERT_TRUE(AlphaMultiply(tall, tallOut));  // 3 rows in 4 stripes
    EXPECT_EQ(Read(tallOut, 1, 2), (Px{51, 51, 51, 51}));
}

}  // namespace
}  // namespace orvex
