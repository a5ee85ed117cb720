// The visual-processing object: its construction, its state slots, and the guarantee that an
// operation without a routine in this build fails loudly instead of reporting success.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpu/GpuDispatch.h"
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

TEST(VisualProcessConstruction, BoundConversionRefusesFramesWithoutPlanes) {
    // Host frames take the CPU form of the entry, which wants the planes the format has.
    VisualProcess vp;
    EffectFrame in, out;
    in.pixel_fmt = orvex::YUV422;
    out.pixel_fmt = orvex::BGRA32;
    LogCapture cap;
    EXPECT_EQ((*vp.conversion(orvex::YUV422, orvex::BGRA32))("yuv422_to_rgb_uchar", in, out, orvex::BT709_Limited),
              orvex::InvalidArgument);
    EXPECT_TRUE(cap.Has("input or output is nullptr!!", "orvex:YUVToRGB_CPU", 6)) << cap.Dump();
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

}  // namespace
