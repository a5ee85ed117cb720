// Brightness and contrast through the effect base: parameters, the table, banding.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "effects/colour/ColorEffects.h"
#include "fakes.h"
#include "frames.h"
#include "gpu/GpuDispatch.h"

using namespace orvex;
using orvextest::HostFrame;

namespace {

float StoredFloat(EffectSurface& e, const char* name) {
    for (const ParamDecl& p : e.Params())
        if (p.name == name) return static_cast<float>(EffectSurface::StoredValue(p));
    ADD_FAILURE() << "no parameter " << name;
    return NAN;
}

ResultCode Render(EffectSurface& e, HostFrame& in, HostFrame& out, int64_t pos = 0) {
    std::vector<EffectFramePtr> inputs{in.frame};
    return e.Render(nullptr, pos, nullptr, inputs, out.frame);
}

// Expected output pixel for a table: colours through it, alpha kept.
cv::Vec4b Mapped(const std::array<uint8_t, 256>& t, cv::Vec4b p) { return {t[p[0]], t[p[1]], t[p[2]], p[3]}; }

}  // namespace

TEST(BrightnessContrast, SetParamResultsAndSubstitutes) {
    VideoEffectBrightnessContrast e;
    EXPECT_FLOAT_EQ(StoredFloat(e, "bright"), 20.f);
    EXPECT_FLOAT_EQ(StoredFloat(e, "contrast"), 20.f);

    struct Case {
        const char* name;
        EffectParamType type;
        EffectParamValue value;
        ResultCode result;
        float stored;  // value of `name` afterwards
    } cases[] = {
        {"bright", ParamFloat, EffectParamValue::Float(-35.5f), Ok, -35.5f},
        {"bright", ParamFloat, EffectParamValue::Float(100.f), Ok, 100.f},           // range is inclusive
        {"bright", ParamFloat, EffectParamValue::Float(100.5f), InvalidArgument, 20.f},  // substitute = 20
        {"contrast", ParamFloat, EffectParamValue::Float(-100.f), Ok, -100.f},
        {"contrast", ParamFloat, EffectParamValue::Float(-101.f), InvalidArgument, 20.f},
        {"contrast", ParamFloat, EffectParamValue::Float(std::numeric_limits<float>::quiet_NaN()), InvalidArgument,
         20.f},
        {"contrast", ParamFloat, EffectParamValue::Float(7.f), Ok, 7.f},
        {"contrast", ParamInt, EffectParamValue::Int(50), WrongFormat, 7.f},  // wrong type: field unchanged
        {"contrast", ParamBool, EffectParamValue::Bool(true), WrongFormat, 7.f},
        {"Contrast", ParamFloat, EffectParamValue::Float(1.f), NotFound, 7.f},  // names compare exactly
    };
    for (const Case& c : cases) {
        EXPECT_EQ(e.SetParam(c.name, c.type, c.value), c.result) << c.name;
        const char* field = std::string(c.name) == "Contrast" ? "contrast" : c.name;
        EXPECT_FLOAT_EQ(StoredFloat(e, field), c.stored) << c.name;
    }
    EXPECT_EQ(e.SetParam(nullptr, ParamFloat, EffectParamValue::Float(1.f)), NotFound);
}

TEST(BrightnessContrast, TableMatchesHandComputedValues) {
    struct Case {
        float bright, contrast;
        int in, out;
    } cases[] = {
        // Defaults: c = trunc(20*2.55+0.5) = 51, b = 20, k = 0.2 -> 0.2/0.8 = 0.25.
        {20, 20, 100, 119},  // v = 120: rint(-7*0.25 + 120 + 0.5) = rint(118.75) = 119
        {20, 20, 0, 0},      // v = 20: rint(-26.75 + 20.5) = -6 -> 0
        {20, 20, 200, 244},  // v = 220: rint(23.25 + 220.5) = 244
        // Negative contrast: c = trunc(-51 + 0.5) = -50, k = -50/255; brightness added after.
        {20, -20, 100, 126},  // rint(27*50/255 + 100.5) = rint(105.79) = 106, + 20 = 126
        {-30, -20, 255, 201},  // b = trunc(-29.5) = -29; rint(-128*50/255 + 255.5) = 230, - 29 = 201
        // Contrast 0 alone: rint(v + 0.5) rounds ties to even, so odd bytes gain one.
        {10, 0, 1, 12},   // rint(1.5) = 2, + 10
        {10, 0, 2, 12},   // rint(2.5) = 2, + 10
        {10, 0, 250, 255},
        // Contrast 100: c = 255, hard threshold at 127 after brightness.
        {0, 100, 126, 0},
        {0, 100, 127, 255},
        {10, 100, 116, 0},
        {10, 100, 117, 255},
    };
    for (const Case& c : cases) {
        VideoEffectBrightnessContrast e;
        ASSERT_EQ(e.SetParam("bright", ParamFloat, EffectParamValue::Float(c.bright)), Ok);
        ASSERT_EQ(e.SetParam("contrast", ParamFloat, EffectParamValue::Float(c.contrast)), Ok);
        bool identity = true;
        auto t = e.BuildTable(&identity);
        EXPECT_FALSE(identity);
        EXPECT_EQ(t[c.in], c.out) << "bright " << c.bright << " contrast " << c.contrast << " in " << c.in;
    }
}

TEST(BrightnessContrast, ZeroCopiesTheFrameAlphaIncluded) {
    VideoEffectBrightnessContrast e;
    // b = trunc(0.4 + 0.5) = 0 and c = trunc(0.19 * 2.55 + 0.5) = trunc(0.98) = 0: the identity.
    e.SetParam("bright", ParamFloat, EffectParamValue::Float(0.4f));
    e.SetParam("contrast", ParamFloat, EffectParamValue::Float(0.19f));
    HostFrame in = orvextest::RandomFrame(33, 17, 5, 12);
    HostFrame out = orvextest::SolidFrame(33, 17, cv::Scalar(1, 2, 3, 4));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(cv::norm(in.image, out.image, cv::NORM_INF), 0);
}

TEST(BrightnessContrast, SerialAndBandedRenderingAgree) {
    // 100 x 100 = 10000 pixels runs serially, 101 x 100 in 8 bands; both must equal the table
    // applied pixel by pixel.
    VideoEffectBrightnessContrast e;
    e.SetParam("bright", ParamFloat, EffectParamValue::Float(-12.f));
    e.SetParam("contrast", ParamFloat, EffectParamValue::Float(63.f));
    bool identity;
    auto t = e.BuildTable(&identity);
    for (int w : {100, 101}) {
        HostFrame in = orvextest::RandomFrame(w, 100, 9);
        HostFrame out = orvextest::SolidFrame(w, 100, cv::Scalar::all(0));
        ASSERT_EQ(Render(e, in, out), Ok);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(out.image.at<cv::Vec4b>(y, x), Mapped(t, in.image.at<cv::Vec4b>(y, x)))
                    << w << "x100 at " << x << "," << y;
    }
}

TEST(EffectSurface, BaseSlots) {
    VideoEffectBrightnessContrast e;
    bool cpu = false, cl = true, gl = true;
    e.GetSupportedPaths(&cpu, &cl, &gl);
    EXPECT_TRUE(cpu);
    EXPECT_TRUE(cl);  // brightness and contrast has an OpenCL body
    EXPECT_FALSE(gl);
    fxRectf r{5, 5, 5, 5};
    EXPECT_TRUE(e.GetContentRect(&r));
    EXPECT_EQ(r.x, 0.f);
    EXPECT_EQ(r.y, 0.f);
    EXPECT_EQ(r.width, 1.f);
    EXPECT_EQ(r.height, 1.f);
    EXPECT_EQ(e.QueryStatus(), 0);
    EXPECT_FALSE(e.IsIdentity());
    EXPECT_EQ(e.SetHostFlag(false), Ok);
    EXPECT_EQ(e.SetHostValue(7), Ok);
    uint32_t a = 99;
    e.GetAuxValueA(&a);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(e.GetAuxValueB(), 0u);
    EXPECT_EQ(e.SetProgramLoader(nullptr), Ok);
    // Setters that keep the previous value on null.
    auto* vp = reinterpret_cast<IVisualProcess*>(&a);
    e.SetVisualProcess(vp);
    e.SetVisualProcess(nullptr);
    EXPECT_EQ(e.VisualProcess(), vp);
    // The base accepts any name when it declares no parameter.
    EffectSurface base;
    EXPECT_EQ(base.SetParam("anything", ParamInt, EffectParamValue::Int(1)), Ok);
    EXPECT_EQ(base.ProcessCPU(0, nullptr, nullptr), Failed);
}

TEST(EffectSurface, HostFramesNeverTakeTheGpuPath) {
    VideoEffectBrightnessContrast e;
    e.SetGPUAvailability(true, true);
    HostFrame in = orvextest::RandomFrame(40, 30, 4);
    HostFrame out = orvextest::SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    bool identity;
    auto t = e.BuildTable(&identity);
    EXPECT_EQ(out.image.at<cv::Vec4b>(10, 10), Mapped(t, in.image.at<cv::Vec4b>(10, 10)));
}

TEST(EffectSurface, GpuFramesFallBackToTheCpuBodyOnMappedTextures) {
    VideoEffectBrightnessContrast e;
    e.SetGPUAvailability(true, false);  // the OpenCL body fails (none yet), OpenGL is off
    auto inTex = std::make_shared<orvextest::FakeTexture>(37, 21, 12);
    auto outTex = std::make_shared<orvextest::FakeTexture>(37, 21, 4);
    cv::randu(inTex->pixels, cv::Scalar::all(0), cv::Scalar::all(256));
    HostFrame in, out;
    in.frame = std::make_shared<EffectFrame>();
    out.frame = std::make_shared<EffectFrame>();
    in.frame->texture = inTex;
    out.frame->texture = outTex;
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(inTex->lastMode, 0);
    EXPECT_EQ(outTex->lastMode, 1);
    EXPECT_EQ(inTex->unmaps, 1);
    EXPECT_EQ(outTex->unmaps, 1);
    bool identity;
    auto t = e.BuildTable(&identity);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(outTex->pixels.at<cv::Vec4b>(y, x), Mapped(t, inTex->pixels.at<cv::Vec4b>(y, x)));

    // A texture that cannot be mapped fails without running the body.
    outTex->failMap = true;
    outTex->pixels.setTo(cv::Scalar::all(3));
    EXPECT_EQ(Render(e, in, out), Failed);
    EXPECT_EQ(inTex->unmaps, inTex->maps);
    EXPECT_EQ(cv::norm(outTex->pixels, cv::Mat(21, 37, CV_8UC4, cv::Scalar::all(3)), cv::NORM_INF), 0);
}

TEST(TextureHostMapping, RepacksPaddedRowsAndWritesThemBack) {
    auto tex = std::make_shared<orvextest::FakeTexture>(10, 6, 24);
    TextureHostMapping map;
    ASSERT_TRUE(map.Map(tex, 1, true));
    EffectFrame& f = map.frame();
    EXPECT_EQ(f.pixel_fmt, BGRA32);
    EXPECT_EQ(f.pitch[0], 40);
    EXPECT_NE(f.data[0], tex->storage.data);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 40; ++x) f.data[0][y * 40 + x] = static_cast<uint8_t>(y * 40 + x);
    map.Release();
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 40; ++x) ASSERT_EQ(tex->storage.at<uint8_t>(y, x), y * 40 + x);
        for (int x = 40; x < 64; ++x) ASSERT_EQ(tex->storage.at<uint8_t>(y, x), 0) << "padding written";
    }
    // Without repacking the frame views the mapped rows directly.
    ASSERT_TRUE(map.Map(tex, 0, false));
    EXPECT_EQ(map.frame().pitch[0], 64);
    EXPECT_EQ(map.frame().data[0], tex->storage.data);
}
