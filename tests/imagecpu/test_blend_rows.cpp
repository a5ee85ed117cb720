#include <cstdint>
#include <random>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imagecpu/BlendRows.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/TableLookup.h"

namespace orvex {
namespace {

struct Rule {
    const char* name;
    int mode;
    bool premultiplied;
};
// The rules with vector rows: multiply (a table mode computed), normal premultiplied, normal
// straight, and table modes whose entries are gathered (the first and last tables among them).
const Rule kRules[] = {{"multiply", 2, false},      {"normal premultiplied", 0, true}, {"normal straight", 0, false},
                       {"overlay", 8, false},       {"darken", 1, true},               {"add", 23, false},
                       {"linear light", 12, false}};
const int kOpacities[] = {0, 1, 127, 200, 255};

// Random bytes with alpha 0 and 255 common, so the rules' shortcuts are taken often.
void Fill(cv::Mat& m, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) {
            cv::Vec4b& p = m.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(rng());
            const int pick = static_cast<int>(rng() % 4);
            if (pick == 0) p[3] = 0;
            if (pick == 1) p[3] = 255;
        }
}

struct VectorsOff {
    VectorsOff() { EnableBlendVectors(false); }
    ~VectorsOff() { EnableBlendVectors(true); }
};

// Restores the lookup path cap (which caps the blend rows too) when a test ends.
struct PathCap {
    ~PathCap() { CapLookupPath(LookupPath::Avx512Vbmi); }
};

// The vector rows give the per-pixel rules' bytes, on widths around the vector widths and on
// views whose rows are padded (an odd pitch), with the padding left alone; AVX2 alone too.
TEST(BlendRows, VectorRowsMatchThePixelRules) {
    // 15 and 24 leave an 8-pixel (AVX2) step after the 16-pixel ones.
    const int widths[] = {1, 7, 8, 9, 15, 16, 17, 24, 25, 33, 1921};
    PathCap restore;
    for (LookupPath path : SupportedLookupPaths()) {
        CapLookupPath(path);
        for (const Rule& rule : kRules) {
            for (int op : kOpacities) {
                for (int w : widths) {
                    const int h = 3;
                    cv::Mat overlayStore(h, w + 3, CV_8UC4), backgroundStore(h, w + 3, CV_8UC4);
                    Fill(overlayStore, static_cast<uint32_t>(w * 7 + op));
                    Fill(backgroundStore, static_cast<uint32_t>(w * 11 + op + 1));
                    const cv::Mat overlay = overlayStore.colRange(1, w + 1);
                    cv::Mat expectedStore = backgroundStore.clone(), gotStore = backgroundStore.clone();
                    cv::Mat expected = expectedStore.colRange(1, w + 1), got = gotStore.colRange(1, w + 1);
                    {
                        VectorsOff off;
                        ASSERT_TRUE(BlendLayers(overlay, expected, rule.mode, static_cast<uint8_t>(op),
                                                rule.premultiplied, 8));
                    }
                    ASSERT_TRUE(BlendLayers(overlay, got, rule.mode, static_cast<uint8_t>(op), rule.premultiplied, 8));
                    const cv::Mat diff = gotStore != expectedStore;
                    ASSERT_EQ(cv::countNonZero(diff.reshape(1)), 0)
                        << LookupPathName(path) << " " << rule.name << " opacity " << op << " width " << w;
                }
            }
        }
    }
}

// Premultiplication through the vector row gives the plain bytes, in place and into another
// picture, on widths around the vector widths.
TEST(BlendRows, PremultiplyMatchesThePlainRow) {
    for (int w : {1, 7, 8, 9, 15, 16, 17, 24, 25, 33, 1921}) {
        cv::Mat source(2, w, CV_8UC4);
        Fill(source, static_cast<uint32_t>(w));
        cv::Mat expected(2, w, CV_8UC4), got(2, w, CV_8UC4);
        {
            VectorsOff off;
            PremultiplyAlphaRows(source.data, source.step[0], expected.data, expected.step[0], w, 2);
        }
        PremultiplyAlphaRows(source.data, source.step[0], got.data, got.step[0], w, 2);
        cv::Mat inPlace = source.clone();
        PremultiplyAlphaRows(inPlace.data, inPlace.step[0], inPlace.data, inPlace.step[0], w, 2);
        ASSERT_EQ(cv::countNonZero(cv::Mat(got != expected).reshape(1)), 0) << "width " << w;
        ASSERT_EQ(cv::countNonZero(cv::Mat(inPlace != expected).reshape(1)), 0) << "in place, width " << w;
    }
}

// Every pair of overlay and background bytes, under a range of overlay alphas, against the rule
// of one pixel.
TEST(BlendRows, EveryBytePairMatchesOnePixelRule) {
    cv::Mat overlay(256, 256, CV_8UC4), background(256, 256, CV_8UC4);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            overlay.at<cv::Vec4b>(y, x) = cv::Vec4b(x, y, 255 - x, (x * 7 + y * 3) & 0xff);
            background.at<cv::Vec4b>(y, x) = cv::Vec4b(y, x, 255 - y, (x + y * 5) & 0xff);
        }
    for (const Rule& rule : kRules) {
        for (int op : kOpacities) {
            cv::Mat got = background.clone();
            ASSERT_TRUE(BlendLayers(overlay, got, rule.mode, static_cast<uint8_t>(op), rule.premultiplied, 8));
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    cv::Vec4b want = background.at<cv::Vec4b>(y, x);
                    BlendOnePixel(overlay.ptr<uint8_t>(y, x), want.val, rule.mode, static_cast<uint8_t>(op),
                                  rule.premultiplied);
                    ASSERT_EQ(got.at<cv::Vec4b>(y, x), want)
                        << rule.name << " opacity " << op << " at " << x << "," << y;
                }
        }
    }
}

// The normal rules into a separate output (rows copied, then blended in place, vector part
// first) against the rule of one pixel on a copy of the background; the background stays as it
// was, and an output that is the background itself gives the same bytes. Views with padded rows
// and an odd width leave a scalar tail after the vector part.
TEST(BlendRows, SeparateOutputNormalMatchesOnePixelRule) {
    cv::Mat overlayStore(256, 256 * 4 + 3, CV_8UC4), backgroundStore(256, 256 * 4 + 5, CV_8UC4);
    Fill(overlayStore, 21);
    Fill(backgroundStore, 22);
    const cv::Mat overlay = overlayStore.colRange(0, 253), background = backgroundStore.colRange(0, 253);
    for (bool premultiplied : {false, true}) {
        for (int op : kOpacities) {
            const cv::Mat before = background.clone();
            cv::Mat out(background.size(), CV_8UC4, cv::Scalar::all(9));
            ASSERT_TRUE(BlendLayersAlone(overlay, background, out, 0, static_cast<uint8_t>(op), premultiplied, 8));
            ASSERT_EQ(cv::norm(background, before, cv::NORM_INF), 0.0) << "the background was written";
            cv::Mat same = background.clone();
            ASSERT_TRUE(BlendLayersAlone(overlay, same, same, 0, static_cast<uint8_t>(op), premultiplied, 8));
            for (int y = 0; y < overlay.rows; ++y)
                for (int x = 0; x < overlay.cols; ++x) {
                    cv::Vec4b want = background.at<cv::Vec4b>(y, x);
                    BlendOnePixel(overlay.ptr<uint8_t>(y, x), want.val, 0, static_cast<uint8_t>(op), premultiplied);
                    ASSERT_EQ(out.at<cv::Vec4b>(y, x), want)
                        << "premultiplied " << premultiplied << " opacity " << op << " at " << x << "," << y;
                    ASSERT_EQ(same.at<cv::Vec4b>(y, x), want)
                        << "into the background, premultiplied " << premultiplied << " opacity " << op;
                }
        }
    }
}

}  // namespace
}  // namespace orvex
