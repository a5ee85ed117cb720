// Every effect's OpenCL body against its CPU body on the same frames (PoCL here), from one table:
// a row per effect and tolerance, each setting on random odd-sized frames both ways round
// (97 x 61 and 61 x 97), the settings marked so also on a 1920 x 1080 frame. The OpenCL body is
// called directly, so a kernel that fails cannot hide behind the CPU fallback of Render.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "effect_settings.h"
#include "frames.h"
#include "gpu_compare.h"
#include "host/kit/kit.h"

using namespace orvex;
using orvextest::ParamValues;

namespace {

struct Setting {
    ParamValues params;
    bool fullHD = false;  // also compared on a 1920 x 1080 frame
};

constexpr double kNoBound = std::numeric_limits<double>::infinity();

// The random frames a row is compared on, by seed: setting i takes wide + i * step and
// tall + i * step. The tolerances were measured on these frames.
struct Seeds {
    uint32_t wide, tall, step, fullHD;
};
constexpr Seeds kPerSetting{11, 111, 1, 5};
constexpr Seeds kGeneratorFrames{3, 4, 0, 9};
constexpr Seeds kGeometryFrames{11, 11, 0, 5};

struct KernelRow {
    const char* effect;  // without "video/effect/"
    int tolerance;       // largest difference of one byte
    const char* why;     // what the tolerance allows for
    std::vector<Setting> settings;
    double rms = kNoBound;  // bound on the RMS byte difference
    Seeds seeds = kPerSetting;
};

// The reasons, once each.
const char* const kExact = "integer, table or same-order float arithmetic: the same bytes";
const char* const kHls =
    "the device's float HLS conversion may round a component the other way than the image library's";
const char* const kFloatMix = "a float mix whose rounding may land one apart";
const char* const kTranscendental =
    "float mixes with transcendental functions whose last bit may differ between the C library and the device";
const char* const kGaussianTaps =
    "the kernel uses the exact float Gaussian; the image library's 8-bit Gaussian quantises every tap to 1/256 "
    "(measured: at most 2 over radii 0..50)";
const char* const kPow = "a float pow whose last bit the device's library may round the other way";

// The colour and blend mode of the pattern generators (their names differ only in case).
ParamValues Pattern(bool lower, double mode, double alpha, double r, double g, double b) {
    return {{lower ? "blend_mode" : "Blend_mode", mode},
            {lower ? "alpha" : "Alpha", alpha},
            {lower ? "red" : "Red", r},
            {lower ? "green" : "Green", g},
            {lower ? "blue" : "Blue", b}};
}

ParamValues Plus(ParamValues a, const ParamValues& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<KernelRow>& Table() {
    static const std::vector<KernelRow> rows = {
        // colour: the gain's tables come from the effect, so a tie such as 250 * 33 * 0.01 = 82.5
        // rounds alike
        {"brightness_contrast", 0, kExact,
         {{{}, true},
          {{{"bright", -40}, {"contrast", -70}}},
          {{{"contrast", 100}}},
          {{{"bright", 10}, {"contrast", 0}}}}},
        {"gamma_correction", 0, kExact, {{{}, true}, {{{"Gamma", 3}}}, {{{"Gamma", 0}}}, {{{"Gamma", 27.5}}}}},
        {"tint", 0, kExact, {{{}, true}, {{{"amount", 37}, {"black_red", 40}, {"white_blue", 90}}}}},
        {"channel_mixer", 0, kExact,
         {{{}, true},
          {{{"red_channel_green", -150}, {"blue_channel_const", 80}, {"green_channel_red", 200}}},
          {{{"monochrome", 1}, {"red_channel_blue", 60}}}}},
        {"color_banlance", 0, kExact, {{{}, true}, {{{"Red", 150}, {"Green", 33}, {"Blue", 0}}}}},
        {"black_white_hitfilm", 0, kExact, {{{}, true}, {{{"Red", 250}, {"Cyan", 10}, {"Magenta", 170}}}}},
        {"color_balance_hls", 1, kHls,
         {{{{"hue", 100}, {"lightness", -30}, {"saturation", 40}}, true},
          {{{"hue", 359}, {"lightness", 45}, {"saturation", -60}}},
          {{}}}},
        {"color_correction_color_balance", 1, kHls,
         {{{{"shadow_red", 40}, {"midtone_green", -30}, {"highlight_blue", 60}}, true},
          {{{"shadow_red", -50}, {"reserve_luminosity", 1}}},
          {{{"reserve_luminosity", 1}}}}},
        {"channel_invert", 1, kHls,
         {{{{"channel_index", 4}, {"alpha_blend", 30}}, true},
          {{}},
          {{{"channel_index", 2}, {"alpha_blend", 100}}},
          {{{"channel_index", 5}}},
          {{{"channel_index", 6}}},
          {{{"channel_index", 7}}},
          {{{"channel_index", 8}}},
          {{{"channel_index", 10}}},
          {{{"channel_index", 11}}},
          {{{"channel_index", 12}}}}},
        {"adjust_levels", 0, kExact,
         {{{{"rgb_gray_level", 150}, {"red_input_black_level", 30}, {"blue_output_white_level", 200}}, true},
          {{{"auto_level", 1}}},
          {{{"green_input_black_level", 255}, {"green_input_white_level", 255}}},
          {{{"rgb_output_black_level", 220}, {"rgb_output_white_level", 10}}}}},
        {"color_pass", 0, kExact, {{{}, true}, {{{"Reverse", 1}, {"Similar", 60}}}, {{{"Similar", 0}}}}},
        {"color_replace", 0, kExact, {{{{"Similar", 70}}, true}, {{{"Solid", 1}, {"Similar", 90}}}}},
        {"leave_color", 0, kExact, {{{{"tolerance", 60}}, true}, {{{"amount", 35}, {"tolerance", 5}}}}},

        // analysis
        {"auto_contrast", 0, kExact,
         {{{}, true}, {{{"threshold", 25}, {"alpha", 60}}}, {{{"threshold", 0}, {"alpha", 150}}}}},
        {"auto_levels", 0, kExact,
         {{{{"threshold", 10}}, true}, {{{"threshold", 40}, {"value", 30}}}, {{{"value", -20}}}}},
        {"auto_color", 1, kPow, {{{{"value", 100}}, true}, {{}}, {{{"threshold", 20}, {"value", 75}}}}, 0.05},
        {"equalizer", 0, kExact,
         {{{}, true}, {{{"equalize_grain", 100}}}, {{{"equalize_grain", 0}}}, {{{"equalize_grain", 37}}}}},
        // Mode 1 goes through 8-bit HLS: its kernel follows the image library's vectorised
        // conversion (fused multiply-adds, as built for machines with FMA) and so agrees exactly.
        {"equalizer", 0, kExact,
         {{{{"mode", 1}}, true}, {{{"mode", 1}, {"equalize_grain", 100}}}, {{{"mode", 1}, {"equalize_grain", 0}}}}},
        {"threshold", 0, kExact, {{{}, true}, {{{"threshold", 0}}}, {{{"threshold", 255}}}, {{{"threshold", 77}}}}},
        {"extract", 0, kExact,
         {{{}, true},
          {{{"Softness", 0}}},
          {{{"Black_level", 0}, {"White_level", 100}, {"Softness", 50}, {"Reverse", 1}}},
          {{{"Black_level", 200}, {"White_level", 250}, {"Softness", 90}}},
          {{{"Black_level", 180}, {"White_level", 20}, {"Softness", 300}}},
          {{{"Black_level", -2000000000}, {"White_level", 2000000000}, {"Softness", 2000000000}}}}},

        // generators: the masks, ramps, gradient and flare repeat the CPU body's integer and float
        // operations one for one (unfused float, the same fast inverse square root, the image
        // library's box rounding)
        {"grid", 0, kExact,
         {{{}},
          {Plus(Pattern(false, 4, 70, 250, 120, 30), {{"Feather_width", 9}, {"Feather_height", 6}, {"Mode", 2}}), true},
          {Plus(Pattern(false, 0, 55, 10, 200, 90), {{"Reverse", 1}, {"Thickness", 13}})},
          {Plus(Pattern(false, 2, 80, 1, 2, 3), {{"Mode", 1}, {"Position_x", 0.13}})},
          {Pattern(false, 16, 90, 128, 128, 128)}}, kNoBound, kGeneratorFrames},
        {"grid", 2, kHls,
         {{Plus(Pattern(false, 17, 90, 200, 50, 120), {{"Feather_width", 4}})}, {Pattern(false, 18, 100, 30, 60, 220)}},
         kNoBound, kGeneratorFrames},
        {"checkerboard", 0, kExact,
         {{{}},
          {Plus(Pattern(false, 5, 66, 40, 230, 140), {{"Feather_width", 20}, {"Feather_height", 7}, {"Mode", 2}}),
           true},
          {Plus(Pattern(false, 13, 100, 255, 0, 128), {{"Mode", 0}, {"Corner_x", 0.81}, {"Position_y", 0.3}})}},
         kNoBound, kGeneratorFrames},
        {"checkerboard", 2, kHls, {{Pattern(false, 15, 75, 20, 90, 200)}}, kNoBound, kGeneratorFrames},
        {"circle", 0, kExact,
         {{{}},
          {Plus(Pattern(true, 7, 85, 250, 200, 10),
                {{"edge_mode", 0}, {"radius", 23.5}, {"feather_radius_outer", 40}})},
          {Plus(Pattern(true, 1, 100, 0, 128, 255),
                {{"edge_mode", 2}, {"radius", 30}, {"thickness", 18}, {"feather_radius_outer", 20},
                 {"feather_radius_inner", 6}, {"center_x", 0.4}}),
           true},
          {Plus(Pattern(true, 11, 60, 90, 90, 255), {{"edge_mode", 3}, {"thickness", 45}, {"reverse", 1}})}},
         kNoBound, kGeneratorFrames},
        {"circle", 2, kHls, {{Pattern(true, 16, 100, 255, 40, 40)}}, kNoBound, kGeneratorFrames},
        {"ramp", 0, kExact,
         {{{}},
          {{{"Begin_Position_X", 0.1}, {"Begin_Position_Y", 0.2}, {"End_Position_X", 0.85}, {"End_Position_Y", 0.7},
            {"Scatter", 17}, {"Begin_Red", 240}, {"End_Blue", 20}, {"Alpha", 80}},
           true},
          {{{"Begin_Position_X", 0.9}, {"Begin_Position_Y", 0.5}, {"End_Position_X", 0.2}, {"End_Position_Y", 0.5},
            {"Alpha", 100}}},
          {{{"Mode", 1}, {"Begin_Position_Y", 0.5}, {"Scatter", 50}, {"End_Green", 30}}}}, kNoBound, kGeneratorFrames},
        {"4_color_gradient", 0, kExact,
         {{{}},
          {{{"blend_mode", 0}, {"alpha", 77}}},
          {{{"blend_mode", 1}, {"alpha", 64}, {"position2_x", 0.4}}},
          {{{"blend_mode", 2}}},
          {{{"blend_mode", 12}, {"alpha", 90}, {"position3_red", 20}}, true},
          {{{"blend_mode", 9}}}}, kNoBound, kGeneratorFrames},
        {"4_color_gradient", 2, kHls, {{{{"blend_mode", 16}, {"alpha", 85}}}, {{{"blend_mode", 17}}}},
         kNoBound, kGeneratorFrames},
        {"lens_flare", 0, kExact,
         {{{}}, {{{"center_x", 0.15}, {"center_y", 0.8}}, true}, {{{"center_x", -0.4}, {"center_y", 1.3}}}},
         kNoBound, kGeneratorFrames},

        // geometry: the warps (transform, motion, corner pin) and the crop zoom repeat the image
        // library's fixed-point arithmetic tap for tap
        {"offset", 0, kExact, {{{}}, {{{"ShiftCenterToX", 1.7}, {"ShiftCenterToY", -0.33}}}},
         kNoBound, kGeometryFrames},
        {"offset", 1, kFloatMix,
         {{{{"ShiftCenterToX", 0.37}, {"ShiftCenterToY", 0.81}, {"BlendWithOrigin", 30}}},
          {{{"ShiftCenterToX", 0.13}, {"BlendWithOrigin", 45}}, true}}, kNoBound, kGeometryFrames},
        {"transform", 0, kExact,
         {{{}},
          {{{"Rotation", 33.5}, {"Opacity", 61}}},
          {{{"Rotation", 90}}},
          {{{"Rotation", 17}, {"Opacity", 80}}, true}},
         kNoBound, kGeometryFrames},
        {"motion", 0, kExact,
         {{{}},
          {{{"Anchor_x", 0.4}, {"Anchor_y", 0.55}, {"Position_x", 0.6}, {"Position_y", 0.45}, {"Scale_x", 130},
            {"Scale_y", 85}, {"Rotation", -21}, {"Opacity", 77}}},
          {{{"Scale_x", 70}, {"Rotation", 200}, {"Position_y", 0.3}}, true}}, kNoBound, kGeometryFrames},
        {"crop", 0, kExact,
         {{{{"Left", 10}, {"Top", 20}, {"Right", 15.5}, {"Bottom", 5}}},
          {{{"Left", 20}, {"Top", 25}, {"Right", 30}, {"Bottom", 10}, {"EdgeFeather", 6}}},
          {{{"Left", 3}, {"Right", 60}, {"EdgeFeather", 9}}},
          // a feather wider than the frame: the box window wraps through several reflections
          {{{"Left", 30}, {"Bottom", 45}, {"EdgeFeather", 150}}},
          {{{"Left", 12}, {"Top", 7}, {"Right", 31}, {"Bottom", 22}, {"Zoom", 1}}},
          {{{"Left", 60}, {"Right", 40}}},
          {{{"Left", 10}, {"Top", 5}, {"Right", 20}, {"Bottom", 15}, {"Zoom", 1}}, true}}, kNoBound, kGeometryFrames},
        {"horizontal_filp", 0, kExact, {{{}, true}}, kNoBound, kGeometryFrames},
        {"vertical_filp", 0, kExact, {{{}, true}}, kNoBound, kGeometryFrames},
        {"corner_pin", 0, kExact,
         {{{}},
          {{{"Upper_Left_x", 0.1}, {"Upper_Left_y", 0.05}, {"Upper_Right_x", 0.8}, {"Upper_Right_y", 0.2},
            {"Lower_Left_x", -0.1}, {"Lower_Left_y", 0.9}, {"Lower_Right_x", 1.2}, {"Lower_Right_y", 0.75}}},
          {{{"Upper_Left_x", 0.2}, {"Lower_Right_y", 0.8}, {"Upper_Right_x", 0.95}}, true}}, kNoBound, kGeometryFrames},
        {"mirror", 0, kExact,
         {{{}},
          {{{"ReflectCenterX", 0.4}, {"ReflectCenterY", 0.6}, {"ReflectAngle", 27}}},
          {{{"ReflectAngle", 45}}},
          {{{"ReflectAngle", 30}}, true}}, kNoBound, kGeometryFrames},
        {"spherize", 1, kTranscendental,
         {{{{"amount", 40}}}, {{{"amount", 70}, {"position_x", 0.3}, {"position_y", 0.7}}}, {{{"amount", 400}}, true}},
         kNoBound, kGeometryFrames},
        {"twirl", 1, kTranscendental,
         {{{}},
          {{{"angle", -200}, {"radius", 80}, {"center_x", 0.2}, {"center_y", 0.6}}},
          {{{"radius", 300}, {"angle", 120}}, true}}, kNoBound, kGeometryFrames},

        // blur and edges: the reduced-size sharpen repeats the image library's fixed-point
        // arithmetic; emboss and find edges are integer or same-order float arithmetic
        {"gaussian_blur", 0, kExact, {{{{"Blurriness", 0}}}}, kNoBound, kGeometryFrames},
        {"gaussian_blur", 2, kGaussianTaps,
         {{{}}, {{{"Blurriness", 10}}}, {{{"Blurriness", 50}}}, {{{"Blurriness", 3}}, true}},
         kNoBound, kGeometryFrames},
        {"sharpen", 0, kExact, {{{}, true}, {{{"Amount", 37}}}}, kNoBound, kGeometryFrames},
        {"emboss", 0, kExact,
         {{{}, true},
          {{{"angle", 105}, {"concave", 1}, {"contrast", 50}, {"alpha", 60}}},
          {{{"angle", -70}, {"concave", 9.5}, {"contrast", 333}, {"alpha", 100}}}}, kNoBound, kGeometryFrames},
        {"color_emboss", 0, kExact, {{{}, true}, {{{"angle", 200}, {"contrast", 75}, {"alpha", 35}}}},
         kNoBound, kGeometryFrames},
        {"find_edges", 0, kExact, {{{}, true}, {{{"reverse", 1}, {"alpha", 70}}}, {{{"alpha", 180}}}},
         kNoBound, kGeometryFrames},
    };
    return rows;
}

std::string RowName(const KernelRow& row, size_t index) {
    return std::string(row.effect) + "_within_" + std::to_string(row.tolerance) + "_" + std::to_string(index);
}

// One lab, and so one compilation of each program, for the whole table.
class EffectKernels : public ::testing::TestWithParam<size_t> {
public:
    static void SetUpTestSuite() { lab_ = std::make_unique<orvextest::OpenCLLab>(); }
    static void TearDownTestSuite() { lab_.reset(); }

protected:
    void SetUp() override {
        if (!lab_->ready()) GTEST_SKIP() << "no OpenCL device";
    }
    static std::unique_ptr<orvextest::OpenCLLab> lab_;
};
std::unique_ptr<orvextest::OpenCLLab> EffectKernels::lab_;

// Compares the two bodies of `effect` at `params` on a w x h random frame, within the row's bounds.
void ExpectAgreement(orvextest::OpenCLLab& lab, const KernelRow& row, const ParamValues& params, int w, int h,
                     uint32_t seed) {
    SCOPED_TRACE(orvextest::Describe(params) + " at " + std::to_string(w) + "x" + std::to_string(h) + " (" +
                 row.why + ")");
    const auto r = lab.Compare(
        std::string("video/effect/") + row.effect,
        [&](IOrvexEffect* e) { orvextest::ApplySetting(*dynamic_cast<EffectSurface*>(e), params); }, w, h, seed,
        row.tolerance);
    EXPECT_CPU_OPENCL_AGREE(r, row.tolerance);
    EXPECT_LE(r.rms, row.rms);
}

}  // namespace

TEST_P(EffectKernels, AgreeWithTheCpuBody) {
    const KernelRow& row = Table()[GetParam()];
    for (size_t i = 0; i < row.settings.size(); ++i) {
        const Setting& s = row.settings[i];
        const uint32_t step = static_cast<uint32_t>(i) * row.seeds.step;
        ExpectAgreement(*lab_, row, s.params, 97, 61, row.seeds.wide + step);
        ExpectAgreement(*lab_, row, s.params, 61, 97, row.seeds.tall + step);
        if (s.fullHD) ExpectAgreement(*lab_, row, s.params, 1920, 1080, row.seeds.fullHD);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EffectKernels, ::testing::Range<size_t>(0, Table().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return RowName(Table()[info.param], info.param);
                         });

// The table covers every effect that renders on OpenCL, and names none that does not.
TEST(EffectKernelTable, HasARowForEveryEffectWithAnOpenCLPath) {
    size_t count = 0;
    const BuiltinEffect* builtins = BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i) {
        const std::string name = std::string(builtins[i].name).substr(std::string("video/effect/").size());
        bool tabled = false;
        for (const KernelRow& row : Table()) tabled = tabled || name == row.effect;
        const bool opencl = (builtins[i].paths & kPathOpenCL) != 0;
        EXPECT_EQ(tabled, opencl) << builtins[i].name
                                  << (opencl ? " renders on OpenCL but has no row in the kernel table"
                                             : " has a kernel-table row but no OpenCL path");
    }
}

// A host may enable OpenCL on an effect that reports no OpenCL path: its OpenCL body refuses, and
// Render gives the CPU picture through the textures.
TEST_F(EffectKernels, EffectsWithoutAKernelRenderTexturesThroughTheirCpuBody) {
    for (const std::string& name : orvextest::CreatableNames()) {
        if (FindBuiltinEffect(name.c_str())->paths & kPathOpenCL) continue;
        SCOPED_TRACE(name);
        IOrvexEffect* e = lab_->lab()->CreateOrvexEffect(name.c_str());
        ASSERT_NE(e, nullptr);
        e->SetGPUAvailability(true, false);
        orvextest::HostFrame in = orvextest::RandomFrame(37, 23, 8);
        orvextest::HostFrame cpu = orvextest::SolidFrame(37, 23, cv::Scalar::all(0));
        orvextest::HostFrame gpu = orvextest::SolidFrame(37, 23, cv::Scalar::all(0));
        ASSERT_EQ(orvextest::Render(*dynamic_cast<EffectSurface*>(e), in, cpu), Ok);
        zrp::TexturePtr tin = orvexhost::UploadFrame(*lab_->factory(), *in.frame);
        zrp::TexturePtr tout = orvexhost::UploadFrame(*lab_->factory(), *gpu.frame);
        ASSERT_TRUE(tin && tout);
        EXPECT_NE(e->ProcessOpenCL(0, tin, tout), Ok);
        auto texIn = std::make_shared<EffectFrame>(*in.frame);
        auto texOut = std::make_shared<EffectFrame>(*gpu.frame);
        texIn->texture = tin;
        texOut->texture = tout;
        EffectFramePtr output = texOut;
        ASSERT_EQ(e->Render(nullptr, 0, nullptr, {texIn}, output), Ok);
        ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *gpu.frame));
        orvextest::ExpectSamePicture(gpu.image, cpu.image, name);
        lab_->lab()->ReleaseOrvexEffect(e);
    }
}

// Black and white sums three weighted luma terms and truncates: with sliders whose weights are not
// short binary fractions, a few sums land within single precision's rounding of a whole number.
// A frame holding every (blue, green, red) luma-term triple checks all of them.
TEST_F(EffectKernels, BlackWhiteAgreesOnEveryLumaTriple) {
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
    const ParamValues odd = {{"Red", 123.4}, {"Yellow", 77}, {"Green", 201},
                             {"Cyan", 10},   {"Blue", 99},   {"Magenta", 170}};
    auto r = lab_->CompareOn(
        "video/effect/black_white_hitfilm",
        [&](IOrvexEffect* e) { orvextest::ApplySetting(*dynamic_cast<EffectSurface*>(e), odd); }, in, 0);
    EXPECT_CPU_OPENCL_AGREE(r, 0);
}

// A portrait frame taller than 1080 takes the other reduced edge-map size of sharpen (386 x 686);
// narrow, to keep the test short.
TEST_F(EffectKernels, SharpenAgreesOnAPortraitFrameTallerThan1080) {
    const KernelRow sharpen{"sharpen", 0, kExact, {}};
    ExpectAgreement(*lab_, sharpen, {{"Amount", 64}}, 300, 1100, 6);
}

// The automatic effects measure on the OpenCL path too: a fresh effect rendered on OpenCL first
// gives the picture of a fresh effect on the CPU, on a frame whose levels do not span 0..255.
TEST_F(EffectKernels, AutomaticEffectsMeasureOnTheOpenCLPathOnTheirOwn) {
    for (const char* name : {"video/effect/auto_contrast", "video/effect/auto_levels", "video/effect/auto_color"}) {
        SCOPED_TRACE(name);
        orvextest::HostFrame in = orvextest::RandomFrame(45, 33, 3);
        in.image.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) {
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(60 + p[c] / 3);
        });
        orvextest::HostFrame cpu = orvextest::SolidFrame(45, 33, cv::Scalar::all(0));
        orvextest::HostFrame gpu = orvextest::SolidFrame(45, 33, cv::Scalar::all(0));
        IOrvexEffect* a = lab_->lab()->CreateOrvexEffect(name);
        IOrvexEffect* b = lab_->lab()->CreateOrvexEffect(name);
        ASSERT_TRUE(a && b);
        zrp::TexturePtr tin = orvexhost::UploadFrame(*lab_->factory(), *in.frame);
        zrp::TexturePtr tout = orvexhost::CreateTextureLike(*lab_->factory(), *gpu.frame);
        ASSERT_TRUE(tin && tout);
        ASSERT_EQ(a->ProcessOpenCL(0, tin, tout), Ok);
        ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *gpu.frame));
        ASSERT_EQ(b->ProcessCPU(0, in.frame.get(), cpu.frame.get()), Ok);
        EXPECT_LE(cv::norm(cpu.image, gpu.image, cv::NORM_INF), 1);
        EXPECT_GT(cv::norm(cpu.image, in.image, cv::NORM_INF), 0) << "the effect changed nothing";
        lab_->lab()->ReleaseOrvexEffect(a);
        lab_->lab()->ReleaseOrvexEffect(b);
    }
}
