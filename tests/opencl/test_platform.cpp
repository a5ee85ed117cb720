// The OpenCL platform (PoCL here): textures, program registration, argument binding, dispatch.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "frames.h"
#include "gpu_compare.h"
#include "host/kit/kit.h"
#include "host/zrp/cl_backend.h"
#include "host/zrp/objects.h"
#include "gpu/GpuDispatch.h"
#include "log_capture.h"

using namespace orvex;
using orvextest::LogCapture;

namespace {

class OpenCLPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        orvexhost::KitOptions options;
        options.opengl = false;  // the OpenCL factory itself: the test reads its queue
        options.openclOnCpu = true;
        factory_ = orvexhost::MakeFactory(options);
        if (!factory_) GTEST_SKIP() << "no OpenCL device (install pocl-opencl-icd)";
        g_atlu_factory = factory_.get();
    }
    void TearDown() override { g_atlu_factory = nullptr; }

    bool Register(const char* key, const std::string& source) {
        zrp::PixelFormat* fmt = nullptr;
        ZRPPixelFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, &fmt);
        bool ok = factory_->RegisterProgram("opencl", key, source.data(), source.size(), fmt, fmt, {key}) == 0;
        ZRPObjectFree(fmt);
        return ok;
    }

    std::unique_ptr<zrp::ATLUFactory> factory_;
};

struct ParamsPtr {
    zrp::Params* p = nullptr;
    ParamsPtr() { ZRPAllocParams(&p); }
    ~ParamsPtr() { ZRPObjectFree(p); }
};

// out = in with blue scaled by `gain` and each colour through `table`; alpha kept.
const char* kScaleKernel = R"CL(
__kernel void test_scale(__read_only image2d_t src, __write_only image2d_t dst, float gain,
                         __constant uchar* table) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    float4 p = read_imagef(src, (int2)(x, y));
    uint r = convert_uint_sat_rte(p.x * 255.0f), g = convert_uint_sat_rte(p.y * 255.0f);
    uint b = convert_uint_sat_rte(p.z * 255.0f * gain);
    write_imagef(dst, (int2)(x, y), (float4)(table[r] / 255.0f, table[g] / 255.0f, min(b, 255u) / 255.0f, p.w));
}
)CL";

}  // namespace

TEST_F(OpenCLPlatform, TexturesRoundTripEveryLayout) {
    struct Case {
        uint32_t fmt, bitDepth;
        int planes;
    } cases[] = {{BGRA32, 8, 1}, {BGRA64, 16, 1}, {NV12, 8, 2}, {P010, 10, 2},
                 {YV12, 8, 3},   {YUVA420, 8, 4}, {YUV422, 8, 3}, {YUVA422_16, 16, 4}};
    for (const Case& c : cases) {
        const int w = 37, h = 23;  // odd sizes: chroma planes round up
        zrp::ImageColorSpace cs;
        zrp::BitFormat bits;
        ASSERT_TRUE(orvexhost::TextureFormatFor(c.fmt, c.bitDepth, &cs, &bits));
        auto shapes = zrp::PlaneShapes(cs, bits, w, h);
        ASSERT_EQ(static_cast<int>(shapes.size()), c.planes) << c.fmt;
        EffectFrame in, out;
        in.pixel_fmt = out.pixel_fmt = c.fmt;
        in.bitDepth = out.bitDepth = c.bitDepth;
        std::vector<std::vector<uint8_t>> inBuf, outBuf;
        for (size_t i = 0; i < shapes.size(); ++i) {
            const int pitch = shapes[i].width * shapes[i].bytesPerSample + 8;  // padded host rows
            inBuf.emplace_back(static_cast<size_t>(pitch) * shapes[i].height);
            for (size_t k = 0; k < inBuf.back().size(); ++k) inBuf.back()[k] = static_cast<uint8_t>(k * 7 + i);
            outBuf.emplace_back(inBuf.back().size(), 0);
            in.data[i] = inBuf.back().data();
            out.data[i] = outBuf.back().data();
            in.pitch[i] = out.pitch[i] = pitch;
            in.width[i] = out.width[i] = static_cast<uint32_t>(shapes[i].width);
            in.height[i] = out.height[i] = static_cast<uint32_t>(shapes[i].height);
        }
        in.planes = out.planes = static_cast<uint32_t>(c.planes);
        zrp::TexturePtr t = orvexhost::UploadFrame(*factory_, in);
        ASSERT_NE(t, nullptr) << c.fmt;
        EXPECT_EQ(t->GetContext()->GetKind(), zrp::kTextureKindOpenCL);
        ASSERT_TRUE(orvexhost::DownloadFrame(*t, out)) << c.fmt;
        for (size_t i = 0; i < shapes.size(); ++i) {
            const size_t row = static_cast<size_t>(shapes[i].width) * shapes[i].bytesPerSample;
            for (int y = 0; y < shapes[i].height; ++y)
                ASSERT_EQ(std::memcmp(in.data[i] + in.pitch[i] * y, out.data[i] + out.pitch[i] * y, row), 0)
                    << "format " << c.fmt << " plane " << i << " row " << y;
        }
    }
}

TEST_F(OpenCLPlatform, FloatDataTexturesAreOneBufferThatKeepsItsBits) {
    // Four floats a texel in one buffer plane (kernels index it as float4), BGRA colour space only.
    EXPECT_TRUE(zrp::PlaneShapes(zrp::kColorSpaceNV12, zrp::kBitFormatFloat32, 4, 4).empty());
    const int w = 5, h = 3;
    std::vector<float> data(static_cast<size_t>(w) * h * 4), back(data.size());
    for (size_t i = 0; i < data.size(); ++i) data[i] = 1.0f / static_cast<float>(i + 3) - 7.5f * static_cast<float>(i);
    zrp::ImageFormat* format = nullptr;
    ASSERT_EQ(ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormatFloat32, w, h, 0, &format), 0);
    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(data.data())};
    const int32_t pitches[1] = {w * 16};
    zrp::TexturePtr t;
    EXPECT_EQ(factory_->CreateTexture(&t, format, "opencl", zrp::kTextureKindOpenCL, planes, pitches, 0, 0), 0);
    ZRPObjectFree(format);
    auto* cl = dynamic_cast<zrp::CLTexture*>(t.get());
    ASSERT_NE(cl, nullptr);
    ASSERT_EQ(cl->planes().size(), 1u);
    EXPECT_FALSE(cl->planes()[0].isImage);
    ASSERT_EQ(cl->Download(0, reinterpret_cast<uint8_t*>(back.data()), w * 16), 0);
    EXPECT_EQ(std::memcmp(data.data(), back.data(), data.size() * sizeof(float)), 0);
}

TEST_F(OpenCLPlatform, SixteenBitBGRAReachesKernelsInRGBAOrder) {
    // The host writes B, G, R, A; the device image is RGBA, so kernels read red in x.
    cv::Mat img(2, 2, CV_16UC4, cv::Scalar(1000, 2000, 60000, 65535));  // B, G, R, A
    auto frame = orvextest::WrapFrame(img, BGRA64);
    frame->bitDepth = 16;
    zrp::TexturePtr t = orvexhost::UploadFrame(*factory_, *frame);
    ASSERT_NE(t, nullptr);
    auto* cl = dynamic_cast<zrp::CLTexture*>(t.get());
    ASSERT_NE(cl, nullptr);
    uint16_t raw[4 * 4];
    size_t origin[3] = {0, 0, 0}, region[3] = {2, 2, 1};
    ASSERT_EQ(clEnqueueReadImage(static_cast<zrp::OpenCLFactory*>(factory_.get())->device()->queue,
                                 cl->planes()[0].mem, CL_TRUE, origin, region, 16, 0, raw, 0, nullptr, nullptr),
              CL_SUCCESS);
    EXPECT_EQ(raw[0], 60000);  // red first on the device
    EXPECT_EQ(raw[2], 1000);
}

TEST_F(OpenCLPlatform, EffectDispatchBindsParamsTablesAndPlanes) {
    ASSERT_TRUE(Register("test_scale", kScaleKernel));
    EXPECT_TRUE(IsProgramRegistered(OpenCL, "test_scale"));
    auto in = orvextest::RandomFrame(45, 19, 3);
    auto out = orvextest::SolidFrame(45, 19, cv::Scalar::all(0));
    zrp::TexturePtr tin = orvexhost::UploadFrame(*factory_, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*factory_, *out.frame);
    ASSERT_TRUE(tin && tout);

    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(255 - i);
    const float gain = 0.5f;
    ParamsPtr params;
    params.p->SetParamValue("gain", zrp::kParamFloat, &gain, 4);
    params.p->SetParamValue("table", zrp::kParamBlock, table, 256);
    ASSERT_EQ(DispatchEffectKernel(params.p, "test_scale", {tin}, {tout}), 0);
    ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *out.frame));
    for (int y = 0; y < 19; ++y) {
        for (int x = 0; x < 45; ++x) {
            cv::Vec4b s = in.image.at<cv::Vec4b>(y, x), d = out.image.at<cv::Vec4b>(y, x);
            // Kernel lanes x, y, z are R, G, B of a CL_BGRA image.
            ASSERT_EQ(d[2], 255 - s[2]);
            ASSERT_EQ(d[1], 255 - s[1]);
            ASSERT_NEAR(d[0], s[0] * 0.5, 0.51);
            ASSERT_EQ(d[3], s[3]);
        }
    }
}

TEST_F(OpenCLPlatform, BindingFailuresAreReported) {
    ASSERT_TRUE(Register("test_scale", kScaleKernel));
    auto in = orvextest::RandomFrame(8, 8, 1);
    zrp::TexturePtr tin = orvexhost::UploadFrame(*factory_, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*factory_, *in.frame);
    LogCapture log;
    {
        ParamsPtr params;  // "gain" missing
        uint8_t table[256] = {};
        params.p->SetParamValue("table", zrp::kParamBlock, table, 256);
        EXPECT_EQ(DispatchEffectKernel(params.p, "test_scale", {tin}, {tout}), 1);
        EXPECT_TRUE(log.Has("kernel test_scale: argument gain is left unbound")) << log.Dump();
    }
    {
        ParamsPtr params;  // "gain" of the wrong size
        double gain = 1;
        uint8_t table[256] = {};
        params.p->SetParamValue("gain", zrp::kParam64, &gain, 8);
        params.p->SetParamValue("table", zrp::kParamBlock, table, 256);
        EXPECT_EQ(DispatchEffectKernel(params.p, "test_scale", {tin}, {tout}), 1);
        EXPECT_TRUE(log.Has("kernel test_scale: argument gain has type float but the value has 8 bytes"))
            << log.Dump();
    }
    {
        ParamsPtr params;  // no output texture for dst
        float gain = 1;
        uint8_t table[256] = {};
        params.p->SetParamValue("gain", zrp::kParamFloat, &gain, 4);
        params.p->SetParamValue("table", zrp::kParamBlock, table, 256);
        zrp::ImageFormat* fmt = nullptr;
        ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, 8, 8, 0, &fmt);
        EXPECT_EQ(ProcessGPU_OpenCL(params.p, "test_scale", fmt, {tin}, {}), 1);
        ZRPObjectFree(fmt);
        EXPECT_TRUE(log.Has("kernel test_scale: argument dst is left unbound (no texture plane left)")) << log.Dump();
        EXPECT_TRUE(log.Has("ScheduleTask is nullptr!!", "orvex:ProcessGPU_OpenCL", 4));
    }
    log.Clear();
    EXPECT_EQ(DispatchEffectKernel(nullptr, "never_registered", {tin}, {tout}), 1);
    zrp::ImageFormat* fmt = nullptr;
    ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, 8, 8, 0, &fmt);
    EXPECT_EQ(ProcessGPU_OpenCL(nullptr, "never_registered", fmt, {tin}, {tout}), 1);
    EXPECT_TRUE(log.Has("ATLUAcquire is nullptr!!", "orvex:ProcessGPU_OpenCL", 4));
    g_atlu_factory = nullptr;
    EXPECT_EQ(ProcessGPU_OpenCL(nullptr, "test_scale", fmt, {tin}, {tout}), 1);
    EXPECT_TRUE(log.Has("g_atlu_factory is nullptr!!", "orvex:ProcessGPU_OpenCL", 4));
    ZRPObjectFree(fmt);
}

TEST_F(OpenCLPlatform, BuildErrorsLogTheCompilerOutput) {
    LogCapture log;
    EXPECT_FALSE(Register("test_broken", "__kernel void test_broken( { nonsense }"));
    bool found = false;
    for (const auto& l : log.lines()) found |= l.message.rfind("program test_broken does not build", 0) == 0;
    EXPECT_TRUE(found) << log.Dump();
    EXPECT_FALSE(IsProgramRegistered(OpenCL, "test_broken"));
}

TEST_F(OpenCLPlatform, GeneratorAndGridDispatch) {
    // No inputs: the unit is acquired with a placeholder input format. The grid covers only the
    // top-left 5 x 3 of the 20 x 10 output.
    GPUKernelDataPtr data = std::make_shared<GPUKernelData>();
    data->source = R"CL(
__kernel void test_fill(__write_only image2d_t dst, int value) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= 5 || y >= 3) return;
    write_imagef(dst, (int2)(x, y), (float4)(value / 255.0f));
})CL";
    data->kernels.push_back({"test_fill", zrp::kColorSpaceNone, zrp::kBitFormat8, zrp::kColorSpaceBGRA,
                             zrp::kBitFormat8});
    AddAlgorithms({{"test_fill", data}});
    EXPECT_EQ(EnsureAlgorithmRegistered("test_fill"), 0);
    EXPECT_EQ(data->state, 1);

    auto out = orvextest::SolidFrame(20, 10, cv::Scalar::all(9));
    zrp::TexturePtr tout = orvexhost::UploadFrame(*factory_, *out.frame);
    ParamsPtr params;
    int32_t value = 200;
    params.p->SetParamValue("value", zrp::kParamInt32, &value, 4);
    zrp::ImageFormat* fmt = nullptr;
    ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, 20, 10, 0, &fmt);
    int32_t gw = 5, gh = 3;
    ASSERT_EQ(ProcessGPU_OpenCL(params.p, "test_fill", fmt, {}, {tout}, &gw, &gh), 0);
    ZRPObjectFree(fmt);
    ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *out.frame));
    EXPECT_EQ(out.image.at<cv::Vec4b>(2, 4), cv::Vec4b(200, 200, 200, 200));
    EXPECT_EQ(out.image.at<cv::Vec4b>(3, 4), cv::Vec4b(9, 9, 9, 9));
    EXPECT_EQ(out.image.at<cv::Vec4b>(2, 5), cv::Vec4b(9, 9, 9, 9));
}

TEST_F(OpenCLPlatform, FailedRegistrationIsNotRetried) {
    GPUKernelDataPtr data = std::make_shared<GPUKernelData>();
    data->source = "__kernel void test_bad( {";
    data->kernels.push_back({"test_bad"});
    AddAlgorithms({{"test_bad", data}});
    LogCapture log;
    EXPECT_EQ(EnsureAlgorithmRegistered("test_bad"), 1);
    EXPECT_EQ(data->state, 2);
    log.Clear();
    EXPECT_EQ(EnsureAlgorithmRegistered("test_bad"), 1);
    EXPECT_TRUE(log.lines().empty()) << "registration was tried again:\n" << log.Dump();
    EXPECT_EQ(EnsureAlgorithmRegistered("not_in_the_registry"), 1);
}

TEST_F(OpenCLPlatform, MappingWritesBackAndConvertingToTheSamePlatformIsIdentity) {
    auto in = orvextest::RandomFrame(9, 4, 8);
    zrp::TexturePtr t = orvexhost::UploadFrame(*factory_, *in.frame);
    EXPECT_EQ(ConvertTexturePlatform(t, OpenCL), t);
    {
        TextureHostMapping map;
        ASSERT_TRUE(map.Map(t, 1, true));
        EXPECT_EQ(map.frame().pixel_fmt, BGRA32);
        EXPECT_EQ(map.frame().pitch[0], 36);
        EXPECT_EQ(std::memcmp(map.frame().data[0], in.image.ptr(0), 36), 0);
        map.frame().data[0][0] = 77;
    }
    auto back = orvextest::SolidFrame(9, 4, cv::Scalar::all(0));
    ASSERT_TRUE(orvexhost::DownloadFrame(*t, *back.frame));
    EXPECT_EQ(back.image.at<cv::Vec4b>(0, 0)[0], 77);
    EXPECT_EQ(back.image.at<cv::Vec4b>(3, 8), in.image.at<cv::Vec4b>(3, 8));
    // No OpenGL device in this factory: conversion to it fails cleanly.
    EXPECT_EQ(ConvertTexturePlatform(t, OpenGL), nullptr);
}

namespace {

// Counts the OpenCL devices of the given types over every platform.
cl_uint CountDevices(cl_device_type types) {
    cl_uint platforms = 0;
    if (clGetPlatformIDs(0, nullptr, &platforms) != CL_SUCCESS || platforms == 0) return 0;
    std::vector<cl_platform_id> ids(platforms);
    clGetPlatformIDs(platforms, ids.data(), nullptr);
    cl_uint total = 0;
    for (cl_platform_id p : ids) {
        cl_uint n = 0;
        if (clGetDeviceIDs(p, types, 0, nullptr, &n) == CL_SUCCESS) total += n;
    }
    return total;
}

}  // namespace

// "Best" takes OpenCL only on a GPU or accelerator; a CPU device (PoCL) only when asked for, so a
// machine without a GPU renders on the CPU bodies by default.
TEST(DeviceChoice, BestTakesAGpuOnlyAndACpuDeviceWhenNamed) {
    orvexhost::KitOptions best;
    best.opengl = false;
    const bool hasGpu = CountDevices(CL_DEVICE_TYPE_GPU | CL_DEVICE_TYPE_ACCELERATOR) > 0;
    EXPECT_EQ(orvexhost::MakeFactory(best) != nullptr, hasGpu);

    orvexhost::KitOptions anyDevice = best;
    anyDevice.openclOnCpu = true;
    const bool hasAny = CountDevices(CL_DEVICE_TYPE_GPU | CL_DEVICE_TYPE_ACCELERATOR | CL_DEVICE_TYPE_CPU) > 0;
    EXPECT_EQ(orvexhost::MakeFactory(anyDevice) != nullptr, hasAny);
}

// A video's frames reuse what the first frame set up: no program is compiled and no kernel object
// created after it, so the per-frame cost is the kernel's own.
TEST(DeviceSetUp, TenFramesBuildOnceAndCreateTheKernelOnce) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    auto* cl = dynamic_cast<zrp::OpenCLFactory*>(lab.factory());
    ASSERT_NE(cl, nullptr);
    IOrvexEffect* effect = lab.lab()->CreateOrvexEffect("video/effect/gamma_correction");
    ASSERT_NE(effect, nullptr);
    orvextest::HostFrame in = orvextest::RandomFrame(64, 48, 4);
    orvextest::HostFrame out = orvextest::RandomFrame(64, 48, 4);
    zrp::TexturePtr tin = orvexhost::UploadFrame(*cl, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*cl, *out.frame);
    int buildsAfterFirst = 0, kernelsAfterFirst = 0;
    for (int frame = 0; frame < 10; ++frame) {
        effect->SetParam("Gamma", ParamFloat, EffectParamValue::Float(static_cast<float>(5 + frame)));
        ASSERT_EQ(effect->ProcessOpenCL(frame, tin, tout), Ok) << "frame " << frame;
        if (frame == 0) {
            buildsAfterFirst = cl->programBuilds();
            kernelsAfterFirst = cl->kernelsCreated();
        }
    }
    EXPECT_GE(buildsAfterFirst, 1);
    EXPECT_EQ(kernelsAfterFirst, 1);
    EXPECT_EQ(cl->programBuilds(), buildsAfterFirst);
    EXPECT_EQ(cl->kernelsCreated(), kernelsAfterFirst);
    lab.lab()->ReleaseOrvexEffect(effect);
}
