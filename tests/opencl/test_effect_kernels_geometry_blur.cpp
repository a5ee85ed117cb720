// The geometry and blur effects' OpenCL kernels against their CPU bodies on PoCL: the same random
// frame through ProcessCPU and ProcessOpenCL, compared byte by byte.
//
// Tolerances. The warps (transform, motion, corner pin), the crop zoom and the reduced-size sharpen
// repeat the image library's fixed-point arithmetic tap for tap, the flips, offset, crop, emboss and
// find edges are integer or same-order float arithmetic: all of them must agree exactly except for
// the float mixes (offset's blend), where 1 is allowed. Spherize and twirl mix in float with
// transcendental functions whose last bit may differ between the C library and the device: 1.
// The Gaussian blur's kernel uses the exact float Gaussian the table prescribes, whereas the
// library's 8-bit Gaussian quantises every tap to 1/256 (its bit-exact fixed-point path); the two
// differ by up to 2 on random frames (measured: at most 2 over radii 0..50), so 2 is allowed there.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
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

struct KernelCase {
    const char* label;
    const char* effect;
    Configure configure;
    int tolerance;
};

void F(IOrvexEffect* e, const char* name, float v) {
    ASSERT_EQ(e->SetParam(name, ParamFloat, EffectParamValue::Float(v)), orvex::Ok) << name;
}
void I(IOrvexEffect* e, const char* name, int v) {
    ASSERT_EQ(e->SetParam(name, ParamInt, EffectParamValue::Int(v)), orvex::Ok) << name;
}
void B(IOrvexEffect* e, const char* name, bool v) {
    ASSERT_EQ(e->SetParam(name, ParamBool, EffectParamValue::Bool(v)), orvex::Ok) << name;
}

std::string Name(const KernelCase& c) { return std::string(c.label); }

// Cases run on odd-sized random frames (97 x 61 and 61 x 97).
const KernelCase kCases[] = {
    {"offset_default", "video/effect/offset", nullptr, 0},
    {"offset_blend", "video/effect/offset",
     [](IOrvexEffect* e) { F(e, "ShiftCenterToX", 0.37f), F(e, "ShiftCenterToY", 0.81f), F(e, "BlendWithOrigin", 30); },
     1},
    {"offset_wrapping", "video/effect/offset",
     [](IOrvexEffect* e) { F(e, "ShiftCenterToX", 1.7f), F(e, "ShiftCenterToY", -0.33f); }, 0},
    {"transform_default", "video/effect/transform", nullptr, 0},
    {"transform_rotate_fade", "video/effect/transform",
     [](IOrvexEffect* e) { F(e, "Rotation", 33.5f), F(e, "Opacity", 61); }, 0},
    {"transform_rotate_90", "video/effect/transform", [](IOrvexEffect* e) { F(e, "Rotation", 90); }, 0},
    {"motion_default", "video/effect/motion", nullptr, 0},
    {"motion_all", "video/effect/motion",
     [](IOrvexEffect* e) {
         F(e, "Anchor_x", 0.4f), F(e, "Anchor_y", 0.55f), F(e, "Position_x", 0.6f), F(e, "Position_y", 0.45f);
         F(e, "Scale_x", 130), F(e, "Scale_y", 85), F(e, "Rotation", -21), F(e, "Opacity", 77);
     },
     0},
    {"crop_plain", "video/effect/crop",
     [](IOrvexEffect* e) { F(e, "Left", 10), F(e, "Top", 20), F(e, "Right", 15.5f), F(e, "Bottom", 5); }, 0},
    {"crop_feather", "video/effect/crop",
     [](IOrvexEffect* e) {
         F(e, "Left", 20), F(e, "Top", 25), F(e, "Right", 30), F(e, "Bottom", 10), I(e, "EdgeFeather", 6);
     },
     0},
    {"crop_feather_odd", "video/effect/crop",
     [](IOrvexEffect* e) { F(e, "Left", 3), F(e, "Right", 60), I(e, "EdgeFeather", 9); }, 0},
    // A feather wider than the frame: the box window wraps through several reflections.
    {"crop_feather_wide", "video/effect/crop",
     [](IOrvexEffect* e) { F(e, "Left", 30), F(e, "Bottom", 45), I(e, "EdgeFeather", 150); },
     0},
    {"crop_zoom", "video/effect/crop",
     [](IOrvexEffect* e) {
         F(e, "Left", 12), F(e, "Top", 7), F(e, "Right", 31), F(e, "Bottom", 22), B(e, "Zoom", true);
     },
     0},
    {"crop_nothing_kept", "video/effect/crop", [](IOrvexEffect* e) { F(e, "Left", 60), F(e, "Right", 40); }, 0},
    {"horizontal_filp", "video/effect/horizontal_filp", nullptr, 0},
    {"vertical_filp", "video/effect/vertical_filp", nullptr, 0},
    {"corner_pin_default", "video/effect/corner_pin", nullptr, 0},
    {"corner_pin_skew", "video/effect/corner_pin",
     [](IOrvexEffect* e) {
         F(e, "Upper_Left_x", 0.1f), F(e, "Upper_Left_y", 0.05f), F(e, "Upper_Right_x", 0.8f),
             F(e, "Upper_Right_y", 0.2f);
         F(e, "Lower_Left_x", -0.1f), F(e, "Lower_Left_y", 0.9f), F(e, "Lower_Right_x", 1.2f),
             F(e, "Lower_Right_y", 0.75f);
     },
     0},
    {"mirror_default", "video/effect/mirror", nullptr, 0},
    {"mirror_oblique", "video/effect/mirror",
     [](IOrvexEffect* e) { F(e, "ReflectCenterX", 0.4f), F(e, "ReflectCenterY", 0.6f), F(e, "ReflectAngle", 27); }, 0},
    {"mirror_45", "video/effect/mirror", [](IOrvexEffect* e) { F(e, "ReflectAngle", 45); }, 0},
    {"spherize_default", "video/effect/spherize", [](IOrvexEffect* e) { F(e, "amount", 40); }, 1},
    {"spherize_off_centre", "video/effect/spherize",
     [](IOrvexEffect* e) { F(e, "amount", 70), F(e, "position_x", 0.3f), F(e, "position_y", 0.7f); }, 1},
    {"twirl_default", "video/effect/twirl", nullptr, 1},
    {"twirl_wide", "video/effect/twirl",
     [](IOrvexEffect* e) { F(e, "angle", -200), F(e, "radius", 80), F(e, "center_x", 0.2f), F(e, "center_y", 0.6f); },
     1},
    {"gaussian_default", "video/effect/gaussian_blur", nullptr, 2},
    {"gaussian_0", "video/effect/gaussian_blur", [](IOrvexEffect* e) { I(e, "Blurriness", 0); }, 0},
    {"gaussian_10", "video/effect/gaussian_blur", [](IOrvexEffect* e) { I(e, "Blurriness", 10); }, 2},
    {"gaussian_50", "video/effect/gaussian_blur", [](IOrvexEffect* e) { I(e, "Blurriness", 50); }, 2},
    {"sharpen_default", "video/effect/sharpen", nullptr, 0},
    {"sharpen_37", "video/effect/sharpen", [](IOrvexEffect* e) { F(e, "Amount", 37); }, 0},
    {"emboss_default", "video/effect/emboss", nullptr, 0},
    {"emboss_shallow", "video/effect/emboss",
     [](IOrvexEffect* e) { F(e, "angle", 105), F(e, "concave", 1), I(e, "contrast", 50), I(e, "alpha", 60); }, 0},
    {"emboss_deep", "video/effect/emboss",
     [](IOrvexEffect* e) { F(e, "angle", -70), F(e, "concave", 9.5f), I(e, "contrast", 333), I(e, "alpha", 100); }, 0},
    {"color_emboss_default", "video/effect/color_emboss", nullptr, 0},
    {"color_emboss_mixed", "video/effect/color_emboss",
     [](IOrvexEffect* e) { F(e, "angle", 200), I(e, "contrast", 75), I(e, "alpha", 35); }, 0},
    {"find_edges_default", "video/effect/find_edges", nullptr, 0},
    {"find_edges_reverse", "video/effect/find_edges", [](IOrvexEffect* e) { B(e, "reverse", true), I(e, "alpha", 70); },
     0},
    {"find_edges_alpha_beyond", "video/effect/find_edges", [](IOrvexEffect* e) { I(e, "alpha", 180); }, 0},
};

// One lab (and so one compilation of each program) per suite.
class LabSuite : public testing::TestWithParam<KernelCase> {
public:
    static void SetUpTestSuite() { lab_ = std::make_unique<orvextest::OpenCLLab>(); }
    static void TearDownTestSuite() { lab_.reset(); }

protected:
    void SetUp() override {
        if (!lab_->ready()) GTEST_SKIP() << "no OpenCL device";
    }
    static std::unique_ptr<orvextest::OpenCLLab> lab_;
};
std::unique_ptr<orvextest::OpenCLLab> LabSuite::lab_;

class GeometryBlurKernels : public LabSuite {};

TEST_P(GeometryBlurKernels, AgreeWithTheCpuBody) {
    const KernelCase& c = GetParam();
    for (auto [w, h] : {std::pair{97, 61}, std::pair{61, 97}}) {
        SCOPED_TRACE(testing::Message() << c.label << " at " << w << "x" << h);
        EXPECT_CPU_OPENCL_AGREE(lab_->Compare(c.effect, c.configure, w, h, 11, c.tolerance), c.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GeometryBlurKernels, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<KernelCase>& info) { return Name(info.param); });

// One full-HD frame per effect: the sizes at which the sharpen edge map is computed at reduced
// size and the warps walk the library's column blocks.
const KernelCase kFullHD[] = {
    {"offset", "video/effect/offset",
     [](IOrvexEffect* e) { F(e, "ShiftCenterToX", 0.13f), F(e, "BlendWithOrigin", 45); }, 1},
    {"transform", "video/effect/transform", [](IOrvexEffect* e) { F(e, "Rotation", 17), F(e, "Opacity", 80); }, 0},
    {"motion", "video/effect/motion",
     [](IOrvexEffect* e) { F(e, "Scale_x", 70), F(e, "Rotation", 200), F(e, "Position_y", 0.3f); }, 0},
    {"crop", "video/effect/crop",
     [](IOrvexEffect* e) {
         F(e, "Left", 10), F(e, "Top", 5), F(e, "Right", 20), F(e, "Bottom", 15), B(e, "Zoom", true);
     },
     0},
    {"horizontal_filp", "video/effect/horizontal_filp", nullptr, 0},
    {"vertical_filp", "video/effect/vertical_filp", nullptr, 0},
    {"corner_pin", "video/effect/corner_pin",
     [](IOrvexEffect* e) { F(e, "Upper_Left_x", 0.2f), F(e, "Lower_Right_y", 0.8f), F(e, "Upper_Right_x", 0.95f); }, 0},
    {"mirror", "video/effect/mirror", [](IOrvexEffect* e) { F(e, "ReflectAngle", 30); }, 0},
    {"spherize", "video/effect/spherize", [](IOrvexEffect* e) { F(e, "amount", 400); }, 1},
    {"twirl", "video/effect/twirl", [](IOrvexEffect* e) { F(e, "radius", 300), F(e, "angle", 120); }, 1},
    {"gaussian_blur", "video/effect/gaussian_blur", [](IOrvexEffect* e) { I(e, "Blurriness", 3); }, 2},
    {"sharpen", "video/effect/sharpen", nullptr, 0},
    {"emboss", "video/effect/emboss", nullptr, 0},
    {"color_emboss", "video/effect/color_emboss", nullptr, 0},
    {"find_edges", "video/effect/find_edges", nullptr, 0},
};

class GeometryBlurKernelsFullHD : public LabSuite {};

TEST_P(GeometryBlurKernelsFullHD, AgreeWithTheCpuBody) {
    const KernelCase& c = GetParam();
    EXPECT_CPU_OPENCL_AGREE(lab_->Compare(c.effect, c.configure, 1920, 1080, 5, c.tolerance), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Cases, GeometryBlurKernelsFullHD, testing::ValuesIn(kFullHD),
                         [](const testing::TestParamInfo<KernelCase>& info) { return Name(info.param); });

// A portrait frame taller than 1080 takes the other reduced edge-map size (386 x 686); narrow, to
// keep the test short.
TEST(GeometryBlurKernelsPortrait, SharpenAt300x1100) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    EXPECT_CPU_OPENCL_AGREE(lab.Compare(
                                "video/effect/sharpen", [](IOrvexEffect* e) { F(e, "Amount", 64); }, 300, 1100, 6, 0),
                            0);
}

}  // namespace
