// The visual-processing object: its construction, its state slots, and the guarantee that an
// operation without a routine in this build fails loudly instead of reporting success.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lab/GpuDispatch.h"
#include "support/log_capture.h"
#include "visual/VisualProcess.h"

namespace {

using orvex::EffectFrame;
using orvex::fxPointd;
using orvex::fxRectf;
using orvex::IVisualProcess;
using orvex::ResultCode;
using orvex::VisualProcess;
using orvextest::LogCapture;

// --- construction ------------------------------------------------------------------------------

TEST(VisualProcessConstruction, RgbToLmsHoldsTheConstantsInBgrRowOrder) {
    VisualProcess vp;
    const float expected[3][3] = {{0.0402f, 0.5783f, 0.3811f},
                                  {0.0782f, 0.7244f, 0.1967f},
                                  {0.8444f, 0.1288f, 0.0241f}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(vp.rgbToLms()(r, c), expected[r][c]) << "row " << r << " col " << c;
}

TEST(VisualProcessConstruction, LmsToLabIsTheFloatNearestEachExactEntry) {
    // Exact values to 17 digits: 1/sqrt(3), 1/sqrt(6), 2/sqrt(6), 1/sqrt(2). Computing them in float
    // can land one ulp off; the matrix must hold the correctly rounded float, so compare exactly.
    const float r3 = static_cast<float>(0.57735026918962576);
    const float r6 = static_cast<float>(0.40824829046386302);
    const float r6x2 = static_cast<float>(0.81649658092772603);
    const float r2 = static_cast<float>(0.70710678118654752);
    const float expected[3][3] = {{r3, r3, r3}, {r6, r6, -r6x2}, {r2, -r2, 0.0f}};

    VisualProcess vp;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(vp.lmsToLab()(r, c), expected[r][c]) << "row " << r << " col " << c;
    EXPECT_EQ(vp.lmsToLabScales()[0], r3);
    EXPECT_EQ(vp.lmsToLabScales()[1], r6);
    EXPECT_EQ(vp.lmsToLabScales()[2], r2);
}

TEST(VisualProcessConstruction, OnlyThe422ConversionsAndCropsAreBound) {
    VisualProcess vp;
    const std::vector<std::pair<uint32_t, uint32_t>> bound = {
        {orvex::YUV422, orvex::BGRA32},     {orvex::YUV422_16, orvex::BGRA32}, {orvex::YUV422_16, orvex::BGRA64},
        {orvex::YUVA422, orvex::BGRA32},    {orvex::YUVA422_16, orvex::BGRA32},
        {orvex::YUVA422_16, orvex::BGRA64},
    };
    for (uint32_t in = 0; in < orvex::PIXFMT_COUNT; ++in) {
        for (uint32_t out = 0; out < orvex::PIXFMT_COUNT; ++out) {
            bool expected = false;
            for (const auto& b : bound) expected |= b.first == in && b.second == out;
            EXPECT_EQ(vp.conversion(in, out) != nullptr, expected) << in << " -> " << out;
        }
        const bool cropExpected = in == orvex::YUV422 || in == orvex::YUV422_16;
        EXPECT_EQ(vp.crop(in) != nullptr, cropExpected) << "crop " << in;
    }
    // Formats out of range are answered, not indexed.
    EXPECT_EQ(vp.conversion(orvex::PIXFMT_COUNT, orvex::BGRA32), nullptr);
    EXPECT_EQ(vp.conversion(orvex::YUV422, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(vp.crop(orvex::PIXFMT_COUNT), nullptr);
}

TEST(VisualProcessConstruction, BoundRoutinesFailUntilTheyAreBuilt) {
    VisualProcess vp;
    EffectFrame in, out;
    LogCapture cap;
    EXPECT_EQ((*vp.conversion(orvex::YUV422, orvex::BGRA32))("yuv422_to_rgb_uchar", in, out, orvex::BT709_Limited),
              orvex::Failed);
    EXPECT_TRUE(cap.Has("YUVToRGB_GPU is not available in this build", "orvex:YUVToRGB_GPU", 4)) << cap.Dump();
}

TEST(VisualProcessConstruction, BoundCropRejectsEmptyFramesWithoutTouchingThem) {
    VisualProcess vp;
    EffectFrame in, out;
    in.pixel_fmt = out.pixel_fmt = orvex::YUV422;
    LogCapture cap;
    EXPECT_EQ((*vp.crop(orvex::YUV422))("YUV422Crop", in, fxRectf{0, 0, 1, 1}, out), orvex::InvalidArgument);
    EXPECT_TRUE(cap.Has("input is nullptr!!", "orvex:YUVACrop", 6)) << cap.Dump();
}

TEST(VisualProcessConstruction, DestroysThroughTheInterface) {
    std::unique_ptr<IVisualProcess> vp(new VisualProcess);
    EXPECT_EQ(vp->SetResourcePath("/some/where"), orvex::Ok);
    vp.reset();  // virtual destructor: the derived strings and tables are released
}

// --- state slots -------------------------------------------------------------------------------

TEST(VisualProcessState, GetCapabilityCodeWritesSix) {
    VisualProcess vp;
    int32_t code = -1;
    EXPECT_EQ(vp.GetCapabilityCode(&code), orvex::Ok);
    EXPECT_EQ(code, 6);
    // Whatever state the object is in.
    vp.SetResourcePath("/res");
    code = -1;
    EXPECT_EQ(vp.GetCapabilityCode(&code), orvex::Ok);
    EXPECT_EQ(code, 6);
}

TEST(VisualProcessState, GetCapabilityCodeRejectsNull) {
    VisualProcess vp;
    LogCapture cap;
    EXPECT_EQ(vp.GetCapabilityCode(nullptr), orvex::InvalidArgument);
    EXPECT_TRUE(cap.Has("input is nullptr!!", "orvex:GetCapabilityCode", 6)) << cap.Dump();
}

TEST(VisualProcessState, SetResourcePathCopiesTheString) {
    VisualProcess vp;
    EXPECT_TRUE(vp.resourcePath().empty());
    char path[] = "/opt/host/resources";
    EXPECT_EQ(vp.SetResourcePath(path), orvex::Ok);
    path[1] = 'X';  // the caller's buffer may change or go away after the call
    EXPECT_EQ(vp.resourcePath(), "/opt/host/resources");
    EXPECT_EQ(vp.SetResourcePath(""), orvex::Ok);
    EXPECT_EQ(vp.resourcePath(), "");
}

TEST(VisualProcessState, SetResourcePathNullKeepsThePreviousPath) {
    VisualProcess vp;
    vp.SetResourcePath("/kept");
    LogCapture cap;
    EXPECT_EQ(vp.SetResourcePath(nullptr), orvex::InvalidArgument);
    EXPECT_EQ(vp.resourcePath(), "/kept");
    EXPECT_TRUE(cap.Has("input is nullptr!!", "orvex:SetResourcePath", 6)) << cap.Dump();
}

TEST(VisualProcessState, GetColorReferenceStatsIsZeroOnANewObject) {
    VisualProcess vp;
    double stats[6];
    for (double& s : stats) s = std::nan("");
    EXPECT_EQ(vp.GetColorReferenceStats(stats), orvex::Ok);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(stats[i], 0.0) << "stat " << i;
}

TEST(VisualProcessState, GetColorReferenceStatsNullFails) {
    VisualProcess vp;
    LogCapture cap;
    EXPECT_EQ(vp.GetColorReferenceStats(nullptr), orvex::Failed);
    EXPECT_TRUE(cap.Has("input is nullptr!!", "orvex:GetColorReferenceStats", 6)) << cap.Dump();
}

// --- the algorithm-unit factory ------------------------------------------------------------------

// A factory with no devices that records which platforms were asked for.
class RecordingFactory : public zrp::ATLUFactory {
public:
    std::vector<std::string> asked;

    zrp::ResultCode IsAlgorithmRegistered(const char*, const char*) override { return 1; }
    zrp::ResultCode RegisterProgram(const char*, const char*, const char*, size_t, const zrp::PixelFormat*,
                                    const zrp::PixelFormat*, const std::vector<std::string>&) override {
        return 1;
    }
    zrp::ResultCode RegisterAlgorithm(const char*, const char*, const char*, size_t,
                                      const std::vector<zrp::AlgorithmUnit*>&) override {
        return 1;
    }
    zrp::DeviceContext* GetDeviceContext(const char* platform) override {
        asked.emplace_back(platform ? platform : "(null)");
        return nullptr;
    }
    zrp::ResultCode CreateTexture(zrp::TexturePtr*, const zrp::ImageFormat*, const char*, int32_t, uint8_t* const*,
                                  const int32_t*, int32_t, int32_t) override {
        return 1;
    }
    zrp::ResultCode ATLUAcquire(zrp::AlgorithmUnitPtr*, const zrp::ImageFormat*, const zrp::ImageFormat*,
                                const char*, const char*) override {
        return 1;
    }
};

// Puts the process-wide factory back, whatever a test did to it.
class FactoryRestore {
public:
    FactoryRestore() : saved_(orvex::g_atlu_factory) {}
    ~FactoryRestore() { orvex::g_atlu_factory = saved_; }

private:
    zrp::ATLUFactory* saved_;
};

TEST(VisualProcessFactory, NullFactoryFailsAndLeavesTheSharedFactory) {
    FactoryRestore restore;
    RecordingFactory previous;
    orvex::g_atlu_factory = &previous;
    VisualProcess vp;
    LogCapture cap;
    EXPECT_EQ(vp.SetATLUFactory(nullptr), orvex::Failed);
    EXPECT_EQ(orvex::g_atlu_factory, &previous);
    EXPECT_TRUE(cap.Has("ATLUFactory is nullptr!!", "orvex:SetATLUFactory", 6)) << cap.Dump();
}

TEST(VisualProcessFactory, FactoryBecomesTheSharedOneAndIsAskedForBothDevices) {
    FactoryRestore restore;
    RecordingFactory factory;
    VisualProcess vp;
    EXPECT_EQ(vp.SetATLUFactory(&factory), orvex::Ok);
    EXPECT_EQ(orvex::g_atlu_factory, &factory);
    EXPECT_EQ(factory.asked, (std::vector<std::string>{"opencl", "opengl"}));
    // No device, so nothing to load.
    EXPECT_FALSE(vp.gpuLoaded());
}

// --- operations without a routine in this build ----------------------------------------------------

struct UnavailableCase {
    const char* name;
    std::function<ResultCode(IVisualProcess&, EffectFrame& a, EffectFrame& b, EffectFrame& c)> call;
};

std::ostream& operator<<(std::ostream& os, const UnavailableCase& c) { return os << c.name; }

const fxRectf kRect{0, 0, 1, 1};
const fxPointd kCentre{0.5, 0.5};

// One row per slot whose routine has not landed; a row goes when its operation is built.
const UnavailableCase kUnavailable[] = {
    {"Convert",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.Convert(ColorSpace::pl_color_repr{}, ColorSpace::pl_color_space{}, a, b, c, 0, 1, 0);
     }},
    {"Blend",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.Blend(a, kRect, b, kRect, c, 1, 0, 1.0, 0);
     }},
    {"CenterPointAlignBlend",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.CenterPointAlignBlend(a, kRect, b, kRect, false, c, 0, 1.0f, 0, 0.f, 0.f, false);
     }},
    {"BlendAndTransform",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.BlendAndTransform(a, kCentre, b, kCentre, false, c, 0, 0, 1.0, 0, 1, 0.0, 1.0, 1.0, 0.0, 0.0);
     }},
    {"Transform",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) {
         return p.Transform(a, kCentre, b, kCentre, 1, 0.0, 1.0, 1.0, 0, false, 0.0, 0.0);
     }},
    {"BlendMask",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.BlendMask(a, kRect, b, kRect, c, 0);
     }},
    {"Motion",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.Motion(a, b, kRect, kRect); }},
    {"BGRAToBGR", [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.BGRAToBGR(a, b); }},
    {"BGRToBGRA", [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.BGRToBGRA(a, b); }},
    {"solidColorBlend",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) {
         return p.solidColorBlend(a, b, 0, 0, 0, 255, 0, 1.0, 0);
     }},
    {"ConvertTo8Bit",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.ConvertTo8Bit(a, b, 10); }},
    {"NV12ToYV12", [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.NV12ToYV12(a, b); }},
    {"BGRToRGB", [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.BGRToRGB(a, b); }},
    {"YV12ToNV12", [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) { return p.YV12ToNV12(a, b); }},
    {"BlendMask2",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         EffectFrame out;
         return p.BlendMask2(a, b, c, 3, out, 100);
     }},
    {"BlendAndTransform_BaseOnBackFrame",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame&) {
         return p.BlendAndTransform_BaseOnBackFrame(a, 16, 9, b, 1, 0);
     }},
    {"BlendAndTransform_BaseOnBackFrame",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) {
         return p.BlendAndTransform_BaseOnBackFrame(a, kCentre, b, kCentre, false, c, 0, 0, 1.0, 0, 1, 0.0, 1.0, 1.0,
                                                    0.0, 0.0, 1, 0);
     }},
    {"overlay",
     [](IVisualProcess& p, EffectFrame& a, EffectFrame& b, EffectFrame& c) { return p.overlay(a, b, c, 0, 1.0f, 0, 0); }},
};

class UnavailableOperation : public ::testing::TestWithParam<UnavailableCase> {};

TEST_P(UnavailableOperation, FailsWithOneLineNamingIt) {
    const UnavailableCase& c = GetParam();
    std::unique_ptr<IVisualProcess> vp(new VisualProcess);
    EffectFrame a, b, d;
    LogCapture cap;
    EXPECT_EQ(c.call(*vp, a, b, d), orvex::Failed);
    const std::string message = std::string(c.name) + " is not available in this build";
    EXPECT_TRUE(cap.Has(message, std::string("orvex:") + c.name, 4)) << cap.Dump();
    EXPECT_EQ(cap.lines().size(), 1u) << cap.Dump();
}

INSTANTIATE_TEST_SUITE_P(Slots, UnavailableOperation, ::testing::ValuesIn(kUnavailable),
                         [](const ::testing::TestParamInfo<UnavailableCase>& info) {
                             return std::string(info.param.name) + "_" + std::to_string(info.index);
                         });

TEST(VisualProcessUnavailable, ShortConvertFailsLikeTheLongForm) {
    VisualProcess vp;
    EffectFrame in, mid, out;
    LogCapture cap;
    EXPECT_EQ(vp.Convert(ColorSpace::pl_color_repr{}, ColorSpace::pl_color_space{}, in, mid, out, 1, 0),
              orvex::Failed);
    EXPECT_TRUE(cap.Has("Convert is not available in this build", "orvex:Convert", 4)) << cap.Dump();
}

TEST(VisualProcessUnavailable, TransformPointReturnsThePointUnmovedAndSaysWhy) {
    VisualProcess vp;
    LogCapture cap;
    const fxPointd p = vp.TransformPoint(fxPointd{12.5, -3.25}, fxRectf{0, 0, 100, 50}, kCentre,
                                         fxRectf{0, 0, 1920, 1080}, kCentre, 30.0, 2.0, 2.0, 0.1, 0.0);
    EXPECT_EQ(p.x, 12.5);
    EXPECT_EQ(p.y, -3.25);
    EXPECT_TRUE(cap.Has("TransformPoint is not available in this build", "orvex:TransformPoint", 4)) << cap.Dump();
}

}  // namespace
