// The generator effects' OpenCL kernels against their CPU bodies on PoCL: random odd-sized frames
// (97 x 61 and 61 x 97) with several settings each, then one 1080p frame.
//
// Tolerances. The masks, ramps, gradient and flare repeat the CPU body's integer and float
// operations one for one (unfused float, the same fast inverse square root, the image library's
// box rounding), so they agree exactly. The HLS modes go through the device's float HLS
// conversion, which may round a component the other way than the image library's: 2 there.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "gpu_compare.h"
#include "orvex/EffectParam.h"

using orvex::EffectParamValue;
using orvex::IOrvexEffect;
using orvex::ParamBool;
using orvex::ParamFloat;
using orvex::ParamInt;

namespace {

using Configure = std::function<void(IOrvexEffect*)>;

void F(IOrvexEffect* e, const char* name, float v) {
    ASSERT_EQ(e->SetParam(name, ParamFloat, EffectParamValue::Float(v)), orvex::Ok) << name;
}
void I(IOrvexEffect* e, const char* name, int v) {
    ASSERT_EQ(e->SetParam(name, ParamInt, EffectParamValue::Int(v)), orvex::Ok) << name;
}
void B(IOrvexEffect* e, const char* name, bool v) {
    ASSERT_EQ(e->SetParam(name, ParamBool, EffectParamValue::Bool(v)), orvex::Ok) << name;
}

struct KernelCase {
    const char* label;
    const char* effect;
    Configure configure;
    int tolerance;
};

// The colour and blend mode for the mask generators (names differ only in case).
Configure Pattern(bool lower, int mode, int alpha, int r, int g, int b) {
    return [=](IOrvexEffect* e) {
        I(e, lower ? "blend_mode" : "Blend_mode", mode);
        I(e, lower ? "alpha" : "Alpha", alpha);
        I(e, lower ? "red" : "Red", r);
        I(e, lower ? "green" : "Green", g);
        I(e, lower ? "blue" : "Blue", b);
    };
}

Configure Both(Configure a, Configure b) {
    return [=](IOrvexEffect* e) {
        if (a) a(e);
        if (b) b(e);
    };
}

const KernelCase kCases[] = {
    {"grid_default", "video/effect/grid", nullptr, 0},
    {"grid_feathered_multiply", "video/effect/grid",
     Both(Pattern(false, 4, 70, 250, 120, 30),
          [](IOrvexEffect* e) { I(e, "Feather_width", 9), I(e, "Feather_height", 6), I(e, "Mode", 2); }),
     0},
    {"grid_reverse_no_blend", "video/effect/grid",
     Both(Pattern(false, 0, 55, 10, 200, 90), [](IOrvexEffect* e) { B(e, "Reverse", true), I(e, "Thickness", 13); }),
     0},
    {"grid_alpha_mode", "video/effect/grid",
     Both(Pattern(false, 2, 80, 1, 2, 3), [](IOrvexEffect* e) { I(e, "Mode", 1), F(e, "Position_x", 0.13f); }), 0},
    {"grid_hls_gray", "video/effect/grid", Pattern(false, 16, 90, 128, 128, 128), 0},
    {"grid_hls_color", "video/effect/grid",
     Both(Pattern(false, 17, 90, 200, 50, 120), [](IOrvexEffect* e) { I(e, "Feather_width", 4); }), 2},
    {"grid_lightness", "video/effect/grid", Pattern(false, 18, 100, 30, 60, 220), 2},
    {"checkerboard_default", "video/effect/checkerboard", nullptr, 0},
    {"checkerboard_feathered_screen", "video/effect/checkerboard",
     Both(Pattern(false, 5, 66, 40, 230, 140),
          [](IOrvexEffect* e) { I(e, "Feather_width", 20), I(e, "Feather_height", 7), I(e, "Mode", 2); }),
     0},
    {"checkerboard_corner_cells", "video/effect/checkerboard",
     Both(Pattern(false, 13, 100, 255, 0, 128),
          [](IOrvexEffect* e) { I(e, "Mode", 0), F(e, "Corner_x", 0.81f), F(e, "Position_y", 0.3f); }),
     0},
    {"checkerboard_hue", "video/effect/checkerboard", Pattern(false, 15, 75, 20, 90, 200), 2},
    {"circle_default", "video/effect/circle", nullptr, 0},
    {"circle_disc_feather", "video/effect/circle",
     Both(Pattern(true, 7, 85, 250, 200, 10),
          [](IOrvexEffect* e) { I(e, "edge_mode", 0), F(e, "radius", 23.5f), F(e, "feather_radius_outer", 40); }),
     0},
    {"circle_ring_feathers", "video/effect/circle",
     Both(Pattern(true, 1, 100, 0, 128, 255),
          [](IOrvexEffect* e) {
              I(e, "edge_mode", 2), F(e, "radius", 30), F(e, "thickness", 18), F(e, "feather_radius_outer", 20);
              F(e, "feather_radius_inner", 6), F(e, "center_x", 0.4f);
          }),
     0},
    {"circle_percent_ring_reversed", "video/effect/circle",
     Both(Pattern(true, 11, 60, 90, 90, 255),
          [](IOrvexEffect* e) { I(e, "edge_mode", 3), F(e, "thickness", 45), B(e, "reverse", true); }),
     0},
    {"circle_saturation", "video/effect/circle", Pattern(true, 16, 100, 255, 40, 40), 2},
    {"ramp_default", "video/effect/ramp", nullptr, 0},
    {"ramp_diagonal_scatter", "video/effect/ramp",
     [](IOrvexEffect* e) {
         F(e, "Begin_Position_X", 0.1f), F(e, "Begin_Position_Y", 0.2f), F(e, "End_Position_X", 0.85f);
         F(e, "End_Position_Y", 0.7f), I(e, "Scatter", 17), I(e, "Begin_Red", 240), I(e, "End_Blue", 20);
         I(e, "Alpha", 80);
     },
     0},
    {"ramp_row", "video/effect/ramp",
     [](IOrvexEffect* e) {
         F(e, "Begin_Position_X", 0.9f), F(e, "Begin_Position_Y", 0.5f), F(e, "End_Position_X", 0.2f);
         F(e, "End_Position_Y", 0.5f), I(e, "Alpha", 100);
     },
     0},
    {"ramp_radial", "video/effect/ramp",
     [](IOrvexEffect* e) {
         I(e, "Mode", 1), F(e, "Begin_Position_Y", 0.5f), I(e, "Scatter", 50), I(e, "End_Green", 30);
     },
     0},
    {"gradient_default_overlay", "video/effect/4_color_gradient", nullptr, 0},
    {"gradient_no_blend", "video/effect/4_color_gradient", [](IOrvexEffect* e) { I(e, "blend_mode", 0), I(e, "alpha", 77); },
     0},
    {"gradient_normal", "video/effect/4_color_gradient",
     [](IOrvexEffect* e) { I(e, "blend_mode", 1), I(e, "alpha", 64), F(e, "position2_x", 0.4f); }, 0},
    {"gradient_add", "video/effect/4_color_gradient", [](IOrvexEffect* e) { I(e, "blend_mode", 2); }, 0},
    {"gradient_difference", "video/effect/4_color_gradient",
     [](IOrvexEffect* e) { I(e, "blend_mode", 12), I(e, "alpha", 90), I(e, "position3_red", 20); }, 0},
    {"gradient_burn", "video/effect/4_color_gradient", [](IOrvexEffect* e) { I(e, "blend_mode", 9); }, 0},
    {"gradient_hue_saturation", "video/effect/4_color_gradient",
     [](IOrvexEffect* e) { I(e, "blend_mode", 16), I(e, "alpha", 85); }, 2},
    {"gradient_lightness", "video/effect/4_color_gradient", [](IOrvexEffect* e) { I(e, "blend_mode", 17); }, 2},
    {"lens_flare_default", "video/effect/lens_flare", nullptr, 0},
    {"lens_flare_corner", "video/effect/lens_flare",
     [](IOrvexEffect* e) { F(e, "center_x", 0.15f), F(e, "center_y", 0.8f); }, 0},
    {"lens_flare_outside", "video/effect/lens_flare",
     [](IOrvexEffect* e) { F(e, "center_x", -0.4f), F(e, "center_y", 1.3f); }, 0},
};

class GeneratorKernels : public ::testing::TestWithParam<KernelCase> {};

}  // namespace

TEST_P(GeneratorKernels, AgreeWithTheCpuBody) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    const KernelCase& c = GetParam();
    auto wide = lab.Compare(c.effect, c.configure, 97, 61, 3, c.tolerance);
    EXPECT_CPU_OPENCL_AGREE(wide, c.tolerance);
    auto tall = lab.Compare(c.effect, c.configure, 61, 97, 4, c.tolerance);
    EXPECT_CPU_OPENCL_AGREE(tall, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Generator, GeneratorKernels, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

// One 1080p frame per program, at settings that exercise its costly paths.
TEST(GeneratorKernels1080p, AgreeWithTheCpuBody) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    for (const char* label : {"grid_feathered_multiply", "checkerboard_feathered_screen", "circle_ring_feathers",
                              "ramp_diagonal_scatter", "gradient_difference", "lens_flare_corner"}) {
        for (const KernelCase& c : kCases) {
            if (std::string(c.label) != label) continue;
            SCOPED_TRACE(label);
            auto r = lab.Compare(c.effect, c.configure, 1920, 1080, 9, c.tolerance);
            EXPECT_CPU_OPENCL_AGREE(r, c.tolerance);
            EXPECT_LT(r.rms, 0.05);
        }
    }
}
