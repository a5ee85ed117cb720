#pragma once
// Small helpers for effect tests: render, set typed parameters, read stored values, compare.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectSurface.h"
#include "frames.h"
#include "effects/Manifest.h"

namespace orvextest {

// The names of every built-in effect the table can create, in table order.
inline std::vector<std::string> CreatableNames() {
    std::vector<std::string> names;
    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].create) names.push_back(rows[i].name);
    return names;
}

inline orvex::ResultCode Render(orvex::EffectSurface& e, HostFrame& in, HostFrame& out, int64_t position = 0) {
    std::vector<orvex::EffectFramePtr> inputs{in.frame};
    return e.Render(nullptr, position, nullptr, inputs, out.frame);
}

inline orvex::ResultCode SetF(orvex::EffectSurface& e, const char* name, float v) {
    return e.SetParam(name, orvex::ParamFloat, orvex::EffectParamValue::Float(v));
}
inline orvex::ResultCode SetI(orvex::EffectSurface& e, const char* name, int v) {
    return e.SetParam(name, orvex::ParamInt, orvex::EffectParamValue::Int(v));
}
inline orvex::ResultCode SetB(orvex::EffectSurface& e, const char* name, bool v) {
    return e.SetParam(name, orvex::ParamBool, orvex::EffectParamValue::Bool(v));
}

// A parameter's stored value in the units the host passes.
inline double Stored(orvex::EffectSurface& e, const char* name) {
    for (const orvex::ParamDecl& p : e.Params())
        if (p.name == name) return orvex::EffectSurface::StoredValue(p);
    ADD_FAILURE() << "no parameter " << name;
    return NAN;
}

inline cv::Vec4b At(const HostFrame& f, int x, int y) { return f.image.at<cv::Vec4b>(y, x); }

// Asserts two pictures are equal, naming the first differing pixel.
inline void ExpectSamePicture(const cv::Mat& a, const cv::Mat& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x)
            ASSERT_EQ(a.at<cv::Vec4b>(y, x), b.at<cv::Vec4b>(y, x)) << what << " at " << x << "," << y;
}

}  // namespace orvextest
