#pragma once
// Settings that take an effect through code paths its defaults do not reach (a mode, a blend, a
// feather, a channel), by effect name. The tests that run every effect render each of them beside
// the defaults; a new path of an effect gets a row here.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectSurface.h"

namespace orvextest {

// Parameter values by display name, each set with the type the effect declares it with.
using ParamValues = std::vector<std::pair<const char*, double>>;

struct EffectSetting {
    const char* effect;  // without "video/effect/"
    ParamValues params;
};

inline const std::vector<EffectSetting>& PathSettings() {
    static const std::vector<EffectSetting> settings = [] {
        std::vector<EffectSetting> s = {
            // colour
            {"brightness_contrast", {{"bright", -12}, {"contrast", 63}}},
            {"gamma_correction", {{"Gamma", 17}}},
            {"tint", {{"black_red", 40}, {"white_blue", 90}, {"amount", 63}}},
            {"channel_mixer", {{"red_channel_green", -70}, {"green_channel_const", 40}, {"blue_channel_red", 130}}},
            {"channel_mixer", {{"red_channel_blue", 60}, {"monochrome", 1}}},
            {"color_banlance", {{"Red", 140}, {"Green", 55}, {"Blue", 101}}},
            {"black_white_hitfilm", {{"Red", 150}, {"Cyan", 30}, {"Magenta", 210}}},
            {"color_balance_hls", {{"hue", 100}, {"lightness", 30}, {"saturation", -40}}},
            {"color_balance_hls", {{"hue", 300}, {"lightness", -30}, {"saturation", 60}}},
            {"color_correction_color_balance", {{"shadow_red", 40}, {"midtone_green", -30}, {"highlight_blue", 70}}},
            {"color_correction_color_balance", {{"shadow_blue", -40}, {"midtone_red", 50}, {"reserve_luminosity", 1}}},
            {"adjust_levels",
             {{"rgb_input_black_level", 20}, {"green_gray_level", 140}, {"red_output_white_level", 200}}},
            {"color_pass", {{"Similar", 40}, {"Pass_Green", 128}}},
            {"color_pass", {{"Similar", 40}, {"Reverse", 1}}},
            {"color_replace", {{"Similar", 60}, {"Target_Blue", 100}}},
            {"color_replace", {{"Similar", 60}, {"Solid", 1}}},
            {"leave_color", {{"amount", 70}, {"tolerance", 40}, {"blue_leave", 90}}},
            {"change_to_color", {{"tolerance_h", 40}, {"to_h", 200}, {"changeType", 3}, {"to_s", 50}}},
            {"change_to_color",
             {{"from_h", 180}, {"tolerance_h", 60}, {"changeModeType", 1}, {"to_h", 250}, {"softness", 20}}},
            {"change_to_color", {{"tolerance_h", 60}, {"view_correction_matte", 1}}},
            // blur and edges
            {"gaussian_blur", {{"Blurriness", 4}}},
            {"compound_blur", {{"Reverse", 1}}},
            {"channel_blur", {{"Red_Blurriness", 6}}},
            {"unsharpen_mask", {{"Radius", 6}}},
            // geometry
            {"offset", {{"BlendWithOrigin", 40}}},
            {"transform", {{"Rotation", 20}, {"Opacity", 70}}},
            {"motion", {{"Scale_x", 150}}},
            {"crop", {{"Left", 10}, {"Zoom", 1}}},
            {"corner_pin", {{"Upper_Left_x", 0.2}}},
            {"mirror", {{"ReflectAngle", 30}}},
            {"spherize", {{"amount", 15}}},
            {"twirl", {{"radius", 12}}},
            {"lens_distortion", {{"square_a", 40}}},
            {"magnify", {{"Size", 8}}},
            // generators: the HLS blend modes and the feathers
            {"grid", {{"Blend_mode", 16}, {"Feather_width", 5}, {"Red", 30}}},
            {"checkerboard", {{"Blend_mode", 16}, {"Feather_width", 5}, {"Red", 30}}},
            {"ramp", {{"Scatter", 9}}},
            {"circle", {{"blend_mode", 16}, {"red", 30}}},
            {"4_color_gradient", {{"blend_mode", 16}}},
            // analysis
            {"equalizer", {{"mode", 1}}},
        };
        for (int i = 0; i <= 12; ++i)
            s.push_back({"channel_invert", {{"channel_index", static_cast<double>(i)}, {"alpha_blend", 30}}});
        return s;
    }();
    return settings;
}

// The path settings of one effect, by full or short name.
inline std::vector<ParamValues> PathSettingsOf(const std::string& effect) {
    const std::string shortName = effect.substr(effect.rfind('/') + 1);
    std::vector<ParamValues> found;
    for (const EffectSetting& s : PathSettings())
        if (shortName == s.effect) found.push_back(s.params);
    return found;
}

// "name=value ..." for a trace.
inline std::string Describe(const ParamValues& params) {
    std::string s;
    for (const auto& [name, v] : params) s += (s.empty() ? "" : " ") + std::string(name) + "=" + std::to_string(v);
    return s.empty() ? "defaults" : s;
}

// Sets each value with the parameter's declared type and expects it accepted.
inline void ApplySetting(orvex::EffectSurface& e, const ParamValues& params) {
    for (const auto& [name, v] : params) {
        const orvex::ParamDecl* decl = nullptr;
        for (const orvex::ParamDecl& p : e.Params())
            if (p.name == name) decl = &p;
        ASSERT_NE(decl, nullptr) << "no parameter " << name;
        const orvex::EffectParamValue value = decl->type == orvex::ParamBool  ? orvex::EffectParamValue::Bool(v != 0)
                                              : decl->type == orvex::ParamInt ? orvex::EffectParamValue::Int(static_cast<int32_t>(v))
                                                                              : orvex::EffectParamValue::Float(static_cast<float>(v));
        ASSERT_EQ(e.SetParam(name, decl->type, value), orvex::Ok) << name << " = " << v;
    }
}

}  // namespace orvextest
