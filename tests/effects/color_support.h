#pragma once
// Shared by the colour effect suites: the fourteen effects with their reject codes, parameter
// setting by display name, and rendering of a row of pixels.
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "effect_settings.h"
#include "effects/colour/ColorEffects.h"
#include "frames.h"

namespace colortest {

using namespace orvex;
using orvextest::HostFrame;

struct EffectInfo {
    const char* name;  // registry name
    EffectSurface* (*make)();
};

template <class T>
EffectSurface* Make() {
    return new T();
}

inline const std::vector<EffectInfo>& ColorEffects() {
    static const std::vector<EffectInfo> list = {
        {"video/effect/brightness_contrast", &Make<VideoEffectBrightnessContrast>},
        {"video/effect/gamma_correction", &Make<VideoEffectGammaCorrection>},
        {"video/effect/tint", &Make<VideoEffectTint>},
        {"video/effect/channel_mixer", &Make<VideoEffectChannel_Mixer>},
        {"video/effect/color_banlance", &Make<VideoEffectColorBanlance>},
        {"video/effect/black_white_hitfilm", &Make<VideoEffectBlackWhiteHitfilm>},
        {"video/effect/color_balance_hls", &Make<VideoEffectColorBalanceHLS>},
        {"video/effect/color_correction_color_balance", &Make<VideoEffectColorCorrectionColorBalance>},
        {"video/effect/channel_invert", &Make<VideoEffectChannelInvert>},
        {"video/effect/adjust_levels", &Make<VideoEffectAdjustLevels>},
        {"video/effect/color_pass", &Make<VideoEffectColorPass>},
        {"video/effect/color_replace", &Make<VideoEffectColorReplace>},
        {"video/effect/leave_color", &Make<VideoEffectLeaveColor>},
        {"video/effect/change_to_color", &Make<VideoEffectChange2Color>},
    };
    return list;
}

// True for a colour effect's full or short name.
inline bool IsColorEffect(const std::string& name) {
    for (const EffectInfo& e : ColorEffects())
        if (name == e.name || name == std::string(e.name).substr(13)) return true;
    return false;
}

inline std::unique_ptr<EffectSurface> Create(const std::string& name) {
    for (const EffectInfo& e : ColorEffects())
        if (name == e.name || name == std::string(e.name).substr(13)) return std::unique_ptr<EffectSurface>(e.make());
    ADD_FAILURE() << "no colour effect " << name;
    return nullptr;
}

inline const ParamDecl* FindParam(const EffectSurface& e, const std::string& name) {
    for (const ParamDecl& p : e.Params())
        if (p.name == name) return &p;
    return nullptr;
}

// A value of the parameter's own type (bool, int or float) holding v.
inline EffectParamValue ValueFor(EffectParamType type, double v) {
    switch (type) {
    case ParamBool: return EffectParamValue::Bool(v != 0);
    case ParamInt: return EffectParamValue::Int(static_cast<int32_t>(v));
    default: return EffectParamValue::Float(static_cast<float>(v));
    }
}

using Params = orvextest::ParamValues;

// Sets each parameter through SetParam with its declared type and expects it accepted.
inline void Set(EffectSurface& e, const Params& params) {
    for (const auto& [name, v] : params) {
        const ParamDecl* p = FindParam(e, name);
        ASSERT_NE(p, nullptr) << name;
        ASSERT_EQ(e.SetParam(name, p->type, ValueFor(p->type, v)), Ok) << name << " = " << v;
    }
}

inline ResultCode Render(EffectSurface& e, HostFrame& in, HostFrame& out) {
    std::vector<EffectFramePtr> inputs{in.frame};
    return e.Render(nullptr, 0, nullptr, inputs, out.frame);
}

// Renders pixels (B, G, R, A) as one row and returns the output row.
inline std::vector<cv::Vec4b> RenderRow(EffectSurface& e, const std::vector<cv::Vec4b>& pixels) {
    cv::Mat row(1, static_cast<int>(pixels.size()), CV_8UC4);
    for (size_t i = 0; i < pixels.size(); ++i) row.at<cv::Vec4b>(0, static_cast<int>(i)) = pixels[i];
    HostFrame in{row, orvextest::WrapFrame(row)};
    HostFrame out = orvextest::SolidFrame(row.cols, 1, cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(Render(e, in, out), Ok);
    std::vector<cv::Vec4b> result;
    for (int i = 0; i < row.cols; ++i) result.push_back(out.image.at<cv::Vec4b>(0, i));
    return result;
}

inline cv::Vec4b RenderPixel(EffectSurface& e, cv::Vec4b p) { return RenderRow(e, {p})[0]; }

// Every byte value in every colour channel: pixel i is (i, 255 - i, i, 200).
inline std::vector<cv::Vec4b> AllBytes() {
    std::vector<cv::Vec4b> v;
    for (int i = 0; i < 256; ++i)
        v.emplace_back(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i), 200);
    return v;
}

// Max absolute difference of two pictures, with the first differing pixel in the message.
inline ::testing::AssertionResult SamePixels(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x)
            if (a.at<cv::Vec4b>(y, x) != b.at<cv::Vec4b>(y, x))
                return ::testing::AssertionFailure()
                       << "first difference at " << x << "," << y << ": " << a.at<cv::Vec4b>(y, x) << " vs "
                       << b.at<cv::Vec4b>(y, x);
    return ::testing::AssertionSuccess();
}

}  // namespace colortest
