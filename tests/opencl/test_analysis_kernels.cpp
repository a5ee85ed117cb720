// The analysis effects' OpenCL bodies against their CPU bodies on the same frames (PoCL here):
// a random odd-sized frame with several parameter sets, then one 1080p frame.
#include <gtest/gtest.h>

#include "effects/analysis/AnalysisEffects.h"
#include "frames.h"
#include "gpu_compare.h"
#include "host/kit/kit.h"

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
    double rms = 0;  // bound on the RMS byte difference where the tolerance is not 0
};

// Per-byte tolerance: the table and integer kernels agree exactly. Auto colour's gamma curve is
// a float pow, whose last bit the device's library may round the other way (then rint may land
// one apart). Mode 1 of the equaliser goes through 8-bit HLS: its kernel follows the image
// library's vectorised conversion (fused multiply-adds, as built for machines with FMA) and so
// agrees exactly; a one-step lightness difference would show, widened by Q's slope.
const Case kCases[] = {
    {"video/effect/auto_contrast",
     {{}, {{"threshold", ParamFloat, 25}, {"alpha", ParamInt, 60}}, {{"threshold", ParamFloat, 0}, {"alpha", ParamInt, 150}}},
     0},
    {"video/effect/auto_levels",
     {{{"threshold", ParamFloat, 10}}, {{"threshold", ParamFloat, 40}, {"value", ParamInt, 30}}, {{"value", ParamInt, -20}}},
     0},
    {"video/effect/auto_color",
     {{{"value", ParamInt, 100}}, {}, {{"threshold", ParamFloat, 20}, {"value", ParamInt, 75}}},
     1, 0.05},
    {"video/effect/equalizer",
     {{}, {{"equalize_grain", ParamInt, 100}}, {{"equalize_grain", ParamInt, 0}}, {{"equalize_grain", ParamInt, 37}}},
     0},
    {"video/effect/equalizer",
     {{{"mode", ParamInt, 1}}, {{"mode", ParamInt, 1}, {"equalize_grain", ParamInt, 100}},
      {{"mode", ParamInt, 1}, {"equalize_grain", ParamInt, 0}}},
     0},
    {"video/effect/threshold", {{}, {{"threshold", ParamInt, 0}}, {{"threshold", ParamInt, 255}}, {{"threshold", ParamInt, 77}}}, 0},
    {"video/effect/extract",
     {{},
      {{"Softness", ParamInt, 0}},
      {{"Black_level", ParamInt, 0}, {"White_level", ParamInt, 100}, {"Softness", ParamInt, 50}, {"Reverse", ParamBool, 1}},
      {{"Black_level", ParamInt, 200}, {"White_level", ParamInt, 250}, {"Softness", ParamInt, 90}},
      {{"Black_level", ParamInt, 180}, {"White_level", ParamInt, 20}, {"Softness", ParamInt, 300}},
      {{"Black_level", ParamInt, -2000000000}, {"White_level", ParamInt, 2000000000}, {"Softness", ParamInt, 2000000000}}},
     0},
};

class AnalysisKernels : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(AnalysisKernels, AgreeWithTheCpuBody) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    const Case& c = GetParam();
    for (size_t i = 0; i < c.settings.size(); ++i) {
        SCOPED_TRACE("setting " + std::to_string(i));
        auto r = lab.Compare(c.effect, [&](IOrvexEffect* e) { Apply(e, c.settings[i]); }, 97, 61, 11 + i, c.tolerance);
        EXPECT_CPU_OPENCL_AGREE(r, c.tolerance);
        EXPECT_LE(r.rms, c.rms);
    }
    SCOPED_TRACE("1080p");
    auto r = lab.Compare(c.effect, [&](IOrvexEffect* e) { Apply(e, c.settings[0]); }, 1920, 1080, 5, c.tolerance);
    EXPECT_CPU_OPENCL_AGREE(r, c.tolerance);
    EXPECT_LE(r.rms, c.rms);
}

INSTANTIATE_TEST_SUITE_P(Analysis, AnalysisKernels, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.effect;
    return name.substr(name.rfind('/') + 1) + "_" + std::to_string(info.index);
});

// The automatic effects measure on the OpenCL path too: a fresh effect rendered on OpenCL first
// gives the picture of a fresh effect on the CPU, on a frame whose levels do not span 0..255.
TEST(AnalysisKernels, OpenCLBodyMeasuresOnItsOwn) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    for (const char* name : {"video/effect/auto_contrast", "video/effect/auto_levels", "video/effect/auto_color"}) {
        SCOPED_TRACE(name);
        orvextest::HostFrame in = orvextest::RandomFrame(45, 33, 3);
        in.image.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) {
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(60 + p[c] / 3);
        });
        orvextest::HostFrame cpu = orvextest::SolidFrame(45, 33, cv::Scalar::all(0));
        orvextest::HostFrame gpu = orvextest::SolidFrame(45, 33, cv::Scalar::all(0));
        IOrvexEffect* a = lab.lab()->CreateOrvexEffect(name);
        IOrvexEffect* b = lab.lab()->CreateOrvexEffect(name);
        ASSERT_TRUE(a && b);
        zrp::TexturePtr tin = orvexhost::UploadFrame(*lab.factory(), *in.frame);
        zrp::TexturePtr tout = orvexhost::CreateTextureLike(*lab.factory(), *gpu.frame);
        ASSERT_TRUE(tin && tout);
        ASSERT_EQ(a->ProcessOpenCL(0, tin, tout), Ok);
        ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *gpu.frame));
        ASSERT_EQ(b->ProcessCPU(0, in.frame.get(), cpu.frame.get()), Ok);
        EXPECT_LE(cv::norm(cpu.image, gpu.image, cv::NORM_INF), 1);
        EXPECT_GT(cv::norm(cpu.image, in.image, cv::NORM_INF), 0) << "the effect changed nothing";
        lab.lab()->ReleaseOrvexEffect(a);
        lab.lab()->ReleaseOrvexEffect(b);
    }
}
