// The OpenGL backend of the GPU platform on EGL: textures and their host transfers, copies
// between platforms, programs, uniforms and passes that read what they draw.
#include <cstring>

#include <gtest/gtest.h>

#include "frames.h"
#include "host/kit/kit.h"
#include "host/zrp/gl_backend.h"
#include "host/zrp/objects.h"
#include "log_capture.h"

namespace {

class GLPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = zrp::OpenDefaultGLDevice();
        if (!device_) GTEST_SKIP() << "no OpenGL device (install libegl-mesa0 and libgl1-mesa-dri)";
        factory_ = std::make_unique<zrp::OpenGLFactory>(device_);
    }

    zrp::TexturePtr Texture(int w, int h, zrp::BitFormat bits = zrp::kBitFormat8) {
        zrp::ImageFormat* f = nullptr;
        ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, bits, w, h, 0, &f);
        zrp::TexturePtr t;
        factory_->CreateTexture(&t, f, "opengl", zrp::kTextureKindOpenGL, nullptr, nullptr, 0, 0);
        ZRPObjectFree(f);
        return t;
    }

    int Register(const char* key, const char* source) {
        return factory_->RegisterProgram("opengl", key, source, std::strlen(source), nullptr, nullptr, {key});
    }

    // One pass of `key` over `output` with the inputs; 0 on success.
    int Run(const char* key, const std::vector<zrp::TexturePtr>& inputs, const zrp::TexturePtr& output,
            zrp::Params* params) {
        zrp::AlgorithmUnitPtr unit;
        if (factory_->ATLUAcquire(&unit, nullptr, nullptr, key, "opengl") != 0) return 1;
        zrp::ResultCode status = 0;
        const std::vector<zrp::TexturePtr> outputs(1, output);
        zrp::Task* task = unit->ScheduleTask(inputs, outputs, params,
                                             {0, 0, output->GetContext()->GetWidth(), output->GetContext()->GetHeight()},
                                             &status);
        if (!task) return 1;
        int r = task->WaitForCompletion(-1);
        return unit->FinalizeTask(task) | r;
    }

    static std::vector<uint8_t> Read(zrp::Texture& t) {
        zrp::MappedBuffer* m = t.Map(0);
        EXPECT_NE(m, nullptr);
        if (!m) return {};
        zrp::MappedPlane p = m->GetPlane(0);
        std::vector<uint8_t> bytes(p.data, p.data + static_cast<size_t>(p.pitch) * p.height);
        t.Unmap(m);
        return bytes;
    }

    zrp::GLDevicePtr device_;
    std::unique_ptr<zrp::OpenGLFactory> factory_;
};

TEST_F(GLPlatform, HostPixelsRoundTripWithAnyPitch) {
    // Tight, padded and odd pitches (the last is not a whole number of pixels).
    for (int pad : {0, 8, 3}) {
        orvextest::HostFrame in = orvextest::RandomFrame(13, 7, 11, pad);
        zrp::ImageFormat* f = nullptr;
        ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, 13, 7, 0, &f);
        zrp::TexturePtr t;
        ASSERT_EQ(factory_->CreateTexture(&t, f, "opengl", zrp::kTextureKindOpenGL, in.frame->data, in.frame->pitch,
                                          orvex::BGRA32, 0), 0);
        ZRPObjectFree(f);
        orvextest::HostFrame back = orvextest::RandomFrame(13, 7, 99, pad);
        auto* gl = static_cast<zrp::GLTexture*>(t.get());
        ASSERT_EQ(gl->Download(back.frame->data[0], back.frame->pitch[0]), 0);
        for (int y = 0; y < 7; ++y)
            ASSERT_EQ(std::memcmp(back.image.ptr(y), in.image.ptr(y), 13 * 4), 0) << "pad " << pad << " row " << y;
    }
    // Mapping for writing keeps what is not written; float textures hold floats exactly.
    zrp::TexturePtr t = Texture(4, 2);
    zrp::MappedBuffer* m = t->Map(1);
    ASSERT_NE(m, nullptr);
    std::memset(m->GetPlane(0).data, 77, 16 * 2);
    ASSERT_EQ(t->Unmap(m), 0);
    m = t->Map(1);
    m->GetPlane(0).data[5] = 9;
    ASSERT_EQ(t->Unmap(m), 0);
    std::vector<uint8_t> bytes = Read(*t);
    EXPECT_EQ(bytes[5], 9);
    EXPECT_EQ(bytes[6], 77);
    zrp::TexturePtr points = Texture(3, 1, zrp::kBitFormatFloat32);
    ASSERT_TRUE(points);
    const float values[12] = {0.125f, -3.5f, 1e6f, 0.3f, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(static_cast<zrp::GLTexture*>(points.get())->Upload(reinterpret_cast<const uint8_t*>(values), 48), 0);
    std::vector<uint8_t> f = Read(*points);
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(std::memcmp(f.data(), values, 48), 0);
}

TEST_F(GLPlatform, OnlyBGRATexturesOfMatchingHostLayout) {
    zrp::ImageFormat* nv12 = nullptr;
    ZRPImageFormatAlloc(zrp::kColorSpaceNV12, zrp::kBitFormat8, 8, 8, 0, &nv12);
    zrp::TexturePtr t;
    EXPECT_NE(factory_->CreateTexture(&t, nv12, "opengl", zrp::kTextureKindOpenGL, nullptr, nullptr, 0, 0), 0);
    EXPECT_FALSE(t);
    ZRPObjectFree(nv12);
    orvextest::HostFrame in = orvextest::RandomFrame(8, 8);
    zrp::ImageFormat* bgra = nullptr;
    ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, 8, 8, 0, &bgra);
    // 16-bit host pixels do not fill an 8-bit texture; another platform's kind is refused.
    EXPECT_NE(factory_->CreateTexture(&t, bgra, "opengl", zrp::kTextureKindOpenGL, in.frame->data, in.frame->pitch,
                                      orvex::BGRA64, 0), 0);
    EXPECT_NE(factory_->CreateTexture(&t, bgra, "opencl", zrp::kTextureKindOpenCL, nullptr, nullptr, 0, 0), 0);
    ZRPObjectFree(bgra);
    EXPECT_EQ(factory_->GetDeviceContext("opencl"), nullptr);
    ASSERT_NE(factory_->GetDeviceContext("opengl"), nullptr);
    EXPECT_EQ(factory_->GetDeviceContext("opengl")->GetType(), zrp::kDeviceOpenGL);
}

TEST_F(GLPlatform, UniformsTakeTheirDeclaredTypeAndUnsetOnesAreZero) {
    ASSERT_EQ(Register("uniforms", R"(#version 120
uniform float f;
uniform int i;
uniform vec2 v;
uniform bool b;
void main() { gl_FragColor = vec4(f, float(i) / 255.0, v.y, b ? 1.0 : 0.0); }
)"), 0);
    zrp::TexturePtr out = Texture(2, 2);
    zrp::Params* p = nullptr;
    ZRPAllocParams(&p);
    const int32_t half = 0;  // an integer into a float uniform: 0.0
    const float i = 128.7f;  // a float into an int uniform: 128
    const float v[2] = {0.f, 0.25f};
    const uint8_t b = 1;
    p->SetParamValue("f", zrp::kParamInt32, &half, 4);
    p->SetParamValue("i", zrp::kParamFloat, &i, 4);
    p->SetParamValue("v", zrp::kParamFloat2, v, 8);
    p->SetParamValue("b", zrp::kParamBool, &b, 1);
    ASSERT_EQ(Run("uniforms", {}, out, p), 0);
    std::vector<uint8_t> px = Read(*out);
    EXPECT_EQ(px[2], 0);     // red: f
    EXPECT_EQ(px[1], 128);   // green: i
    EXPECT_NEAR(px[0], 64, 1);  // blue: v.y
    EXPECT_EQ(px[3], 255);   // alpha: b
    const float one = 1.f;
    p->SetParamValue("f", zrp::kParamFloat, &one, 4);
    ASSERT_EQ(Run("uniforms", {}, out, p), 0);
    EXPECT_EQ(Read(*out)[2], 255);
    ZRPObjectFree(p);
    // Nothing set: every uniform back to zero, not left from the task before.
    ASSERT_EQ(Run("uniforms", {}, out, nullptr), 0);
    px = Read(*out);
    EXPECT_EQ(px[0] + px[1] + px[2] + px[3], 0);
}

TEST_F(GLPlatform, PassMayReadThePictureItDrawsInto) {
    ASSERT_EQ(Register("halve", R"(#version 120
uniform sampler2D picture;
uniform vec2 iResolution;
void main() { gl_FragColor = texture2D(picture, gl_FragCoord.xy / iResolution) * 0.5; }
)"), 0);
    zrp::TexturePtr t = Texture(3, 3);
    zrp::MappedBuffer* m = t->Map(1);
    std::memset(m->GetPlane(0).data, 200, 36);
    t->Unmap(m);
    zrp::Params* p = nullptr;
    ZRPAllocParams(&p);
    const float size[2] = {3, 3};
    p->SetParamValue("iResolution", zrp::kParamFloat2, size, 8);
    ASSERT_EQ(Run("halve", {t}, t, p), 0);
    ASSERT_EQ(Run("halve", {t}, t, p), 0);
    ZRPObjectFree(p);
    for (uint8_t v : Read(*t)) ASSERT_EQ(v, 50);
}

TEST_F(GLPlatform, ProgramErrorsAndForeignTexturesFail) {
    orvextest::LogCapture log;
    EXPECT_NE(Register("broken", "#version 120\nvoid main() { gl_FragColor = nonsense; }\n"), 0);
    EXPECT_NE(factory_->IsAlgorithmRegistered("opengl", "broken"), 0);
    bool logged = false;
    for (const auto& line : log.lines()) logged |= line.message.find("program broken does not compile") == 0;
    EXPECT_TRUE(logged) << log.Dump();
    EXPECT_NE(Register("empty", ""), 0);
    zrp::AlgorithmUnitPtr unit;
    EXPECT_NE(factory_->ATLUAcquire(&unit, nullptr, nullptr, "broken", "opengl"), 0);

    ASSERT_EQ(Register("plain", "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n"), 0);
    ASSERT_EQ(factory_->ATLUAcquire(&unit, nullptr, nullptr, "plain", "opengl"), 0);
    zrp::ResultCode status = 0;
    const std::vector<zrp::TexturePtr> empty;
    EXPECT_EQ(unit->ScheduleTask(empty, empty, nullptr, {0, 0, 4, 4}, &status), nullptr);
    EXPECT_EQ(status, 1);
    const std::vector<zrp::TexturePtr> outputs(1, Texture(4, 4));
    EXPECT_EQ(unit->ScheduleTask(empty, outputs, nullptr, {0, 0, 0, 4}, &status), nullptr);  // empty region
}

// Copies between the two platforms go through host memory and keep every byte.
TEST(GLAndCLTextures, CopyBothWays) {
    orvexhost::KitOptions options;
    options.openclOnCpu = true;
    auto factory = orvexhost::MakeFactory(options);
    if (!factory || !factory->GetDeviceContext("opencl") || !factory->GetDeviceContext("opengl"))
        GTEST_SKIP() << "needs both an OpenCL and an OpenGL device";
    orvextest::HostFrame in = orvextest::RandomFrame(17, 9, 4);
    zrp::TexturePtr cl = orvexhost::UploadFrame(*factory, *in.frame, "opencl");
    zrp::TexturePtr gl = orvexhost::CreateTextureLike(*factory, *in.frame, "opengl");
    zrp::TexturePtr back = orvexhost::CreateTextureLike(*factory, *in.frame, "opencl");
    ASSERT_TRUE(cl && gl && back);
    ASSERT_EQ(gl->CopyFrom(*cl), 0);
    ASSERT_EQ(back->CopyFrom(*gl), 0);
    orvextest::HostFrame out = orvextest::SolidFrame(17, 9, cv::Scalar::all(0));
    ASSERT_TRUE(orvexhost::DownloadFrame(*back, *out.frame));
    EXPECT_EQ(cv::norm(out.image, in.image, cv::NORM_INF), 0);
}

}  // namespace
