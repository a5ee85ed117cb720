// The colour effects' OpenCL bodies against their CPU bodies on the same frames (PoCL here):
// a random odd-sized frame with several parameter sets, then one 1080p frame.
#include <gtest/gtest.h>

#include "frames.h"
#include "gpu_compare.h"

using namespace orvex;

namespace {

struct Param {
    const char* name;
    EffectParamType type;
    double value;
};

void Apply(IOrvexEffect* e, const std::vector<Param>& params) {
    for (const Param& p : params) {
        EffectParamValue v = p.type == ParamFloat  ? EffectParamValue::Float(static_cast<float>(p.value))
                             : p.type == ParamInt ? EffectParamValue::Int(static_cast<int32_t>(p.value))
                                                  : EffectParamValue::Bool(p.value != 0);
        ASSERT_EQ(e->SetParam(p.name, p.type, v), Ok) << p.name;
    }
}

struct Case {
    const char* effect;
    std::vector<std::vector<Param>> settings;  // each compared on the small frame; the first at 1080p
    int tolerance;
};

// Per-byte tolerance: the integer and table effects agree exactly (the gain's tables come from the
// effect, so a tie such as 250 * 33 * 0.01 = 82.5 rounds alike). The ones through 8-bit HLS may
// differ by one where the device's float HLS conversion rounds the other way.
const Case kCases[] = {
    {"video/effect/brightness_contrast",
     {{}, {{"bright", ParamFloat, -40}, {"contrast", ParamFloat, -70}}, {{"contrast", ParamFloat, 100}},
      {{"bright", ParamFloat, 10}, {"contrast", ParamFloat, 0}}},
     0},
    {"video/effect/gamma_correction", {{}, {{"Gamma", ParamFloat, 3}}, {{"Gamma", ParamFloat, 0}}, {{"Gamma", ParamFloat, 27.5}}}, 0},
    {"video/effect/tint",
     {{}, {{"amount", ParamFloat, 37}, {"black_red", ParamInt, 40}, {"white_blue", ParamInt, 90}}}, 0},
    {"video/effect/channel_mixer",
     {{}, {{"red_channel_green", ParamInt, -150}, {"blue_channel_const", ParamInt, 80}, {"green_channel_red", ParamInt, 200}},
      {{"monochrome", ParamBool, 1}, {"red_channel_blue", ParamInt, 60}}},
     0},
    {"video/effect/color_banlance", {{}, {{"Red", ParamFloat, 150}, {"Green", ParamFloat, 33}, {"Blue", ParamFloat, 0}}}, 0},
    {"video/effect/black_white_hitfilm",
     {{}, {{"Red", ParamFloat, 250}, {"Cyan", ParamFloat, 10}, {"Magenta", ParamFloat, 170}}}, 0},
    {"video/effect/color_balance_hls",
     {{{"hue", ParamFloat, 100}, {"lightness", ParamFloat, -30}, {"saturation", ParamFloat, 40}},
      {{"hue", ParamFloat, 359}, {"lightness", ParamFloat, 45}, {"saturation", ParamFloat, -60}}, {}},
     1},
    {"video/effect/color_correction_color_balance",
     {{{"shadow_red", ParamFloat, 40}, {"midtone_green", ParamFloat, -30}, {"highlight_blue", ParamFloat, 60}},
      {{"shadow_red", ParamFloat, -50}, {"reserve_luminosity", ParamBool, 1}}, {{"reserve_luminosity", ParamBool, 1}}},
     1},
    {"video/effect/channel_invert",
     {{{"channel_index", ParamInt, 4}, {"alpha_blend", ParamInt, 30}}, {},
      {{"channel_index", ParamInt, 2}, {"alpha_blend", ParamInt, 100}}, {{"channel_index", ParamInt, 5}},
      {{"channel_index", ParamInt, 6}}, {{"channel_index", ParamInt, 7}}, {{"channel_index", ParamInt, 8}},
      {{"channel_index", ParamInt, 10}}, {{"channel_index", ParamInt, 11}}, {{"channel_index", ParamInt, 12}}},
     1},
    {"video/effect/adjust_levels",
     {{{"rgb_gray_level", ParamInt, 150}, {"red_input_black_level", ParamInt, 30}, {"blue_output_white_level", ParamInt, 200}},
      {{"auto_level", ParamBool, 1}}, {{"green_input_black_level", ParamInt, 255}, {"green_input_white_level", ParamInt, 255}},
      {{"rgb_output_black_level", ParamInt, 220}, {"rgb_output_white_level", ParamInt, 10}}},
     0},
    {"video/effect/color_pass", {{}, {{"Reverse", ParamBool, 1}, {"Similar", ParamInt, 60}}, {{"Similar", ParamInt, 0}}}, 0},
    {"video/effect/color_replace", {{{"Similar", ParamInt, 70}}, {{"Solid", ParamBool, 1}, {"Similar", ParamInt, 90}}}, 0},
    {"video/effect/leave_color", {{{"tolerance", ParamFloat, 60}}, {{"amount", ParamFloat, 35}, {"tolerance", ParamFloat, 5}}}, 0},
};

class ColorKernels : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(ColorKernels, AgreeWithTheCpuBody) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    const Case& c = GetParam();
    for (size_t i = 0; i < c.settings.size(); ++i) {
        SCOPED_TRACE("setting " + std::to_string(i));
        auto r = lab.Compare(c.effect, [&](IOrvexEffect* e) { Apply(e, c.settings[i]); }, 97, 61, 11 + i, c.tolerance);
        EXPECT_CPU_OPENCL_AGREE(r, c.tolerance);
    }
    SCOPED_TRACE("1080p");
    auto r = lab.Compare(c.effect, [&](IOrvexEffect* e) { Apply(e, c.settings[0]); }, 1920, 1080, 5, c.tolerance);
    EXPECT_CPU_OPENCL_AGREE(r, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Color, ColorKernels, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.effect;
    return name.substr(name.rfind('/') + 1);
});

// Black and white sums three weighted luma terms and truncates: with sliders whose weights are not
// short binary fractions, a few sums land within single precision's rounding of a whole number.
// A frame holding every (blue, green, red) luma-term triple checks all of them.
TEST(ColorKernelsEveryValue, BlackWhiteAgreesOnEveryLumaTriple) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    // The smallest byte with each luma term: trunc(v 0.114), trunc(v 0.587), trunc(v 0.299).
    auto firstWith = [](int term, int num, int den) {
        int v = 0;
        while (v * num / den < term) ++v;
        return v;
    };
    const int w = 30 * 150, h = 77;
    orvextest::HostFrame in = orvextest::SolidFrame(w, h, cv::Scalar::all(255));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            in.image.at<cv::Vec4b>(r, x) = cv::Vec4b(static_cast<uint8_t>(firstWith(x / 150, 57, 500)),
                                                     static_cast<uint8_t>(firstWith(x % 150, 587, 1000)),
                                                     static_cast<uint8_t>(firstWith(r, 299, 1000)), 255);
    const std::vector<Param> odd = {{"Red", ParamFloat, 123.4},  {"Yellow", ParamFloat, 77}, {"Green", ParamFloat, 201},
                                    {"Cyan", ParamFloat, 10},    {"Blue", ParamFloat, 99},   {"Magenta", ParamFloat, 170}};
    auto r = lab.CompareOn("video/effect/black_white_hitfilm", [&](IOrvexEffect* e) { Apply(e, odd); }, in, 0);
    EXPECT_CPU_OPENCL_AGREE(r, 0);
}
