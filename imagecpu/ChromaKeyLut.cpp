// The chroma-key LUT generator and the calibration that drives it.
#include "imagecpu/ChromaKeyLut.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "imagecpu/CubeLut.h"

namespace orvex {
namespace {

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// (v - low) / (high - low) clamped; an empty range is a step at low.
float Ramp(float v, float low, float high) {
    if (!(high > low)) return v >= low ? 1.0f : 0.0f;
    return Clamp01((v - low) / (high - low));
}

}  // namespace

NLEChromaKeyLut3dGenerator::NLEChromaKeyLut3dGenerator(int gridSize)
    : n_(std::clamp(gridSize, 1, CubeLut::kGridPoints - 1)) {
    SetParams(ChromaKeyParams{});
}

void NLEChromaKeyLut3dGenerator::SetParams(const ChromaKeyParams& params) {
    params_ = params;
    // The pixel is laid out blue, green, red for the BGR conversion, as the grid is: putting red
    // first would mirror the key hue (a red key would key blue).
    cv::Mat px(1, 1, CV_32FC3, cv::Scalar(params.blue / 255.0, params.green / 255.0, params.red / 255.0));
    cv::Mat hsv;
    cv::cvtColor(px, hsv, cv::COLOR_BGR2HSV_FULL);
    const cv::Vec3f k = hsv.at<cv::Vec3f>(0, 0);
    keyH_ = k[0];
    keyS_ = k[1];
    keyV_ = k[2];
    dirty_ = true;
}

float NLEChromaKeyLut3dGenerator::HueDistance(float kH, float h) {
    if (kH <= 90 && h > 270) return (360 - h) / 360 + kH / 360;
    if (kH >= 270 && h < 90) return (360 - kH + h) / 360;
    return h / 360 - kH / 360;
}

float NLEChromaKeyLut3dGenerator::Strength(float h, float s, float v) const {
    const float fV = Ramp(v, params_.valueLow / 255.0f, params_.valueHigh / 255.0f);
    const float fS = Ramp(s, params_.saturationLow / 255.0f, params_.saturationHigh / 255.0f);
    const float tol = params_.hueTolerance / 512.0f;
    const float soft = params_.softness / 255.0f + 0.01f;
    const float fH = Clamp01((tol - std::fabs(HueDistance(keyH_, h)) + soft) / soft);
    if (keyS_ >= 0.1f) return fV * fH * fS;
    if (fS >= 0.1f) return 0.0f;
    const float dv = std::fabs(v - keyV_);
    return dv < 0.05f ? 1.0f - dv : 0.0f;
}

void NLEChromaKeyLut3dGenerator::BuildGrid() {
    const int p = n_ + 1;
    cv::Mat bgr(1, p * p * p, CV_32FC3);
    auto* px = bgr.ptr<cv::Vec3f>(0);
    for (int i = 0; i < p; ++i)          // red, slowest
        for (int j = 0; j < p; ++j)      // green
            for (int k = 0; k < p; ++k)  // blue, fastest
                *px++ = cv::Vec3f(static_cast<float>(k) / n_, static_cast<float>(j) / n_, static_cast<float>(i) / n_);
    cv::cvtColor(bgr, hsv_, cv::COLOR_BGR2HSV_FULL);
    strength_.assign(static_cast<size_t>(p) * p * p, 0.0f);
    gridBuilt_ = true;
}

void NLEChromaKeyLut3dGenerator::Generate(CubeLut& lut) {
    if (!gridBuilt_) BuildGrid();
    const int p = n_ + 1;
    if (dirty_) {
        const auto* hsv = hsv_.ptr<cv::Vec3f>(0);
        for (size_t i = 0; i < strength_.size(); ++i) strength_[i] = Strength(hsv[i][0], hsv[i][1], hsv[i][2]);
        dirty_ = false;
    }
    const double* a = params_.adjust;
    const double c = a[4] - a[0], g = a[5] - a[1];
    float* grid = lut.GetTable(nullptr, nullptr, nullptr, nullptr);
    size_t point = 0;
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j)
            for (int k = 0; k < p; ++k, ++point) {
                double v = strength_[point];
                v = c <= 0 ? v + c / a[2] : v + (v - 0.5) * c / 5;
                v = g <= 0 ? v + (1 - v) * g / 5 : v + v * g / 5;
                v = std::min(1.0, std::max(0.0, v));
                float* e = grid + CubeLut::Entry(i, j, k);
                e[0] = e[1] = e[2] = static_cast<float>((1 - v) * 255);
            }
}

std::pair<double, double> ChromaKeyCalibration::Calibrate(uint8_t red, uint8_t green, uint8_t blue) {
    if (!lut_) lut_ = std::make_shared<CubeLut>();
    if (!generator_) generator_ = std::make_shared<NLEChromaKeyLut3dGenerator>(64);
    lut_->BuildIdentity(64);
    const uint8_t key[3] = {blue, green, red};
    constexpr int kMaxShift = 16;
    for (int t = 0; t <= kMaxShift; t += 2) {
        ChromaKeyParams p;
        p.blue = blue;
        p.green = green;
        p.red = red;
        p.adjust[5] = t;
        generator_->SetParams(p);
        generator_->Generate(*lut_);
        uint8_t out[3] = {255, 255, 255};
        lut_->Apply(out, 3, key, 1, 1, 3, 3, 2, 255);
        if (out[0] <= 0.1) {
            first_ = 50 + t / 3.0;
            second_ = t;
            return {first_, second_};
        }
    }
    first_ = 50 + kMaxShift / 3.0;
    second_ = kMaxShift;
    return {first_, second_};
}

}  // namespace orvex
