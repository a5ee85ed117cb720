// The shader-effect base on llvmpipe: working sizes, parameters and gradients, program
// registration, inputs and masks, the uniforms every pass gets, and frames on textures.
#include <filesystem>
#include <fstream>

#include "effect_helpers.h"
#include "gl_fixture.h"
#include "log_capture.h"

using namespace orvex;
using namespace orvextest;

namespace {

// Writes an effect folder under the build tree and scans it, so a test can run a shader of its own.
void WriteEffect(IOrvex* lab, const std::string& name, const JsonDocument& description,
                 const std::vector<std::pair<std::string, std::string>>& files) {
    const auto root = std::filesystem::path(ORVEX_BINARY_DIR) / "tmp-opengl";
    const auto dir = root / name;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "description.json") << description.dump();
    for (const auto& [file, text] : files) std::ofstream(dir / file) << text;
    lab->SetResourcePath(root.string().c_str(), 2);
}

using GLSurface = GLLab;

TEST(GLSurfaceSizes, WorkingSizeFollowsTheQualityCap) {
    const struct {
        const char* quality;
        int W, H, w, h;
    } cases[] = {
        {"low", 1920, 1080, 568, 320},    // s = 320 / 1080, sizes truncated
        {"high", 640, 360, 640, 360},     // under the cap: unscaled
        {"medium", 1920, 1080, 853, 480},
        {"HIGH", 1280, 720, 853, 480},    // names are exact: medium
        {"high", 1080, 1920, 720, 1280},  // portrait: the width is the shorter side
    };
    for (const auto& c : cases) {
        VideoEffectOpenGLSurface e;
        EffectDescription d;
        d.document = JsonDocument{{"quality", c.quality}};
        e.SetDescription(std::move(d));
        int w = 0, h = 0;
        e.WorkingSize(c.W, c.H, &w, &h);
        EXPECT_EQ(w, c.w) << c.quality << " " << c.W << "x" << c.H;
        EXPECT_EQ(h, c.h) << c.quality << " " << c.W << "x" << c.H;
    }
}

TEST(GLSurfaceParams, GradientColorBuildsTexelsAndSendsTheCount) {
    VideoEffectOpenGLSurface e;
    EffectDescription d;
    d.document = JsonDocument{{"display_name", "g"}, {"opengl_frag", {"a.frag", "b.frag"}}};
    e.SetDescription(std::move(d));
    ASSERT_EQ(e.SetParam("gradient_color", ParamText, EffectParamValue::Text("2,255,0;65280,100")), Ok);
    const cv::Mat& g = e.GradientImage();
    ASSERT_EQ(g.cols, 2);
    EXPECT_EQ(g.at<cv::Vec4b>(0, 0), cv::Vec4b(255, 0, 0, 0));
    EXPECT_EQ(g.at<cv::Vec4b>(0, 1), cv::Vec4b(0, 255, 0, 255));
    for (const auto& entry : e.PassEntries()) {
        ASSERT_TRUE(entry->pending.count("gradient_color_count")) << entry->path;
        EXPECT_EQ(entry->pending["gradient_color_count"].second.AsInt(), 2);
    }
    EXPECT_EQ(e.RequiredInputCount(), 2);  // background and gradient

    // Failures change nothing and are reported with the conversion that failed.
    const struct {
        const char* text;
        ResultCode result;
        const char* log;
    } bad[] = {
        {"3", Failed, nullptr},  // no ','
        {"x,255,0", InvalidArgument, "gradient_color: invalid stoi argument"},
        {"2,99999999999,0", InvalidArgument, "gradient_color: stoi argument out of range"},
        {"2,255,abc", InvalidArgument, "gradient_color: invalid stof argument"},
        {"2,255,1e99", InvalidArgument, "gradient_color: stof argument out of range"},
        {"0,255,0", InvalidArgument, "gradient_color: 0 stops, expected 1 to 4096"},
    };
    for (const auto& c : bad) {
        LogCapture log;
        EXPECT_EQ(e.SetParam("gradient_color", ParamText, EffectParamValue::Text(c.text)), c.result) << c.text;
        if (c.log) {
            EXPECT_TRUE(log.Has(c.log)) << c.text << "\n" << log.Dump();
        }
        EXPECT_EQ(e.GradientImage().cols, 2) << c.text;
    }
    // More stops than the count: the extra ones have no texel.
    EXPECT_EQ(e.SetParam("gradient_color", ParamText, EffectParamValue::Text("1,16711680,0;255,50;65280,100")), Ok);
    EXPECT_EQ(e.GradientImage().at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 255, 0));
}

TEST(GLSurfaceParams, AnyNameReachesEveryPassAndTheBlend) {
    VideoEffectOpenGLSurface e;
    EffectDescription d;
    d.document = JsonDocument{{"display_name", "g"}, {"opengl_frag", {"a.frag"}}, {"input_list", {"mask"}}};
    e.SetDescription(std::move(d));
    bool cpu = false, cl = true, gl = false;
    e.GetSupportedPaths(&cpu, &cl, &gl);
    EXPECT_TRUE(cpu && gl && !cl);  // a mask input adds path 1
    EXPECT_EQ(e.GetAuxValueB(), 1u);
    EXPECT_EQ(SetF(e, "anything", 2.5f), Ok);
    EXPECT_EQ(e.PassEntries()[0]->pending["anything"].second.AsFloat(), 2.5f);
    EXPECT_EQ(e.BlendEntry().pending["anything"].first, ParamFloat);
    EXPECT_EQ(e.RequiredInputCount(), 2);
    EXPECT_EQ(e.PassEntries()[0]->key, "g_a.frag");
}

TEST_F(GLSurface, BuiltinBlendShaderIsRegisteredWithoutBlendScript) {
    auto* pixelate = Create("video/effect/pixelate");
    ASSERT_NE(pixelate, nullptr);
    EXPECT_EQ(pixelate->BlendEntry().path, "blend/resample.frag");
    EXPECT_EQ(pixelate->BlendEntry().key, "blend_resample.frag");
    EXPECT_EQ(factory_->IsAlgorithmRegistered("opengl", "blend_resample.frag"), 0);
    EXPECT_EQ(factory_->IsAlgorithmRegistered("opengl", "pixelate_pixelate.frag"), 0);

    auto* leak = Create("video/effect/light_leak");
    ASSERT_NE(leak, nullptr);
    EXPECT_EQ(leak->BlendEntry().key, "light_leak_light_leak_blend.frag");
    EXPECT_EQ(factory_->IsAlgorithmRegistered("opengl", "light_leak_light_leak_blend.frag"), 0);
}

TEST_F(GLSurface, TransparentMaskGivesNoMaskTextureAndRenderFails) {
    auto* e = Create("video/effect/light_leak");
    ASSERT_NE(e, nullptr);
    HostFrame in = SolidFrame(64, 48, cv::Scalar(200, 100, 50, 0));
    HostFrame out = SolidFrame(64, 48, cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(Render(*e, in, out), Failed);
    EXPECT_EQ(At(out, 10, 10), cv::Vec4b(1, 2, 3, 4));
    // Alpha at the threshold (5) still counts as empty.
    in.image.setTo(cv::Scalar(200, 100, 50, 5));
    EXPECT_EQ(Render(*e, in, out), Failed);
    in.image.at<cv::Vec4b>(3, 7)[3] = 6;
    EXPECT_EQ(Render(*e, in, out), Ok);
}

TEST_F(GLSurface, RenderWithoutOpenGLFallsBackAndFails) {
    auto* e = Create("video/effect/pixelate");
    ASSERT_NE(e, nullptr);
    e->SetGPUAvailability(false, false);
    HostFrame in = RandomFrame(20, 20);
    HostFrame out = SolidFrame(20, 20, cv::Scalar::all(7));
    EXPECT_EQ(Render(*e, in, out), Failed);
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(7, 7, 7, 7));
    // Unusable frames: a non-BGRA output (refused as a frame no body renders), a missing plane.
    e->SetGPUAvailability(false, true);
    out.frame->pixel_fmt = NV12;
    EXPECT_EQ(Render(*e, in, out), UnsupportedFrame);
    out.frame->pixel_fmt = BGRA32;
    in.frame->data[0] = nullptr;
    EXPECT_EQ(Render(*e, in, out), Failed);
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(7, 7, 7, 7));
}

TEST_F(GLSurface, TimeSecondUsesTheIntegerRateAndASafeDefault) {
    WriteEffect(lab_, "gltest_time",
                {{"unique_name", "video/effect/gltest_time"}, {"display_name", "gltest_time"},
                 {"effect_type", "opengl_effect"}, {"opengl_frag", {"time.frag"}}, {"original", true}},
                {{"time.frag", "#version 120\nuniform float time_second;\n"
                               "void main() { gl_FragColor = vec4(vec3(time_second / 10.0), 1.0); }\n"}});
    auto* e = Create("video/effect/gltest_time");
    ASSERT_NE(e, nullptr);
    const struct {
        int64_t num, den, position;
        int startFrame;
        double seconds;
    } cases[] = {
        {30, 1, 60, 0, 2.0},
        {30000, 1001, 58, 0, 2.0},  // 29 fps in integers
        {0, 0, 60, 0, 2.0},         // unset: 30 fps
        {1, 2, 3, 0, 3.0},          // below 1 fps: 1 fps
        {30, 1, 30, 30, 2.0},       // start_frame counts
    };
    for (const auto& c : cases) {
        e->SetFrameRate(c.num, c.den);
        ASSERT_EQ(SetI(*e, "start_frame", c.startFrame), Ok);
        HostFrame in = SolidFrame(8, 8, cv::Scalar::all(0));
        HostFrame out = SolidFrame(8, 8, cv::Scalar::all(0));
        ASSERT_EQ(Render(*e, in, out, c.position), Ok);
        EXPECT_NEAR(At(out, 3, 3)[0], c.seconds / 10 * 255, 1.0) << c.num << "/" << c.den;
    }
}

TEST_F(GLSurface, WorkingTextureIsUsedAtTheCappedSize) {
    WriteEffect(lab_, "gltest_copy",
                {{"unique_name", "video/effect/gltest_copy"}, {"display_name", "gltest_copy"},
                 {"effect_type", "opengl_effect"}, {"opengl_frag", {"copy.frag"}}, {"quality", "low"},
                 {"without_blend", true}},
                {{"copy.frag", "#version 120\nuniform sampler2D background_tex;\nuniform vec2 iResolution;\n"
                               "void main() { gl_FragColor = texture2D(background_tex, gl_FragCoord.xy / iResolution); }\n"}});
    auto* e = Create("video/effect/gltest_copy");
    ASSERT_NE(e, nullptr);
    HostFrame in = SolidFrame(1920, 1080, cv::Scalar(10, 20, 30, 255));
    HostFrame out = SolidFrame(1920, 1080, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, in, out), Ok);
    EXPECT_EQ(e->WorkingWidth(), 568);
    EXPECT_EQ(e->WorkingHeight(), 320);
    EXPECT_EQ(At(out, 1000, 500), cv::Vec4b(10, 20, 30, 255));
    HostFrame small = SolidFrame(640, 360, cv::Scalar(1, 2, 3, 255));
    HostFrame smallOut = SolidFrame(640, 360, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, small, smallOut), Ok);
    EXPECT_EQ(e->WorkingWidth(), 568);  // 640 x 360 under "low": 320 on the shorter side
    EXPECT_EQ(At(smallOut, 100, 100), cv::Vec4b(1, 2, 3, 255));
}

TEST_F(GLSurface, TextureFramesGiveTheSamePictureAsHostFrames) {
    auto* e = Create("video/effect/pixelate");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(SetF(*e, "block_size", 6.f), Ok);
    HostFrame in = RandomFrame(50, 30, 3);
    HostFrame hostOut = SolidFrame(50, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, in, hostOut), Ok);

    HostFrame texIn = RandomFrame(50, 30, 3);
    HostFrame texOut = SolidFrame(50, 30, cv::Scalar::all(0));
    texIn.frame->texture = orvexhost::UploadFrame(*factory_, *texIn.frame, "opengl");
    texOut.frame->texture = orvexhost::CreateTextureLike(*factory_, *texOut.frame, "opengl");
    ASSERT_TRUE(texIn.frame->texture && texOut.frame->texture);
    ASSERT_EQ(Render(*e, texIn, texOut), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*texOut.frame->texture, *texOut.frame));
    ExpectSamePicture(texOut.image, hostOut.image, "pixelate on OpenGL textures");
}

TEST_F(GLSurface, HostFramesBecomeOpenGLTexturesOfTheirPixels) {
    HostFrame in = RandomFrame(9, 5, 2, 12);
    zrp::TexturePtr t = CreateTextureForFrame(*in.frame);
    ASSERT_TRUE(t);
    EXPECT_EQ(TexturePlatform(*t), OpenGL);
    EXPECT_EQ(ConvertTexturePlatform(t, OpenGL), t);
    HostFrame back = SolidFrame(9, 5, cv::Scalar::all(0));
    ASSERT_TRUE(orvexhost::DownloadFrame(*t, *back.frame));
    ExpectSamePicture(back.image, in.image, "texture of a host frame");
    HostFrame nv12 = RandomFrame(9, 5);
    nv12.frame->pixel_fmt = NV12;  // no 8-bit BGRA pixels to put in the texture
    EXPECT_FALSE(CreateTextureForFrame(*nv12.frame));
}

// Frames on OpenCL textures are copied to OpenGL for the passes and the result copied back.
TEST(GLSurfaceOnOpenCL, OpenCLTexturesGoThroughOpenGLAndBack) {
    orvexhost::KitOptions options;
    options.openclOnCpu = true;
    auto factory = orvexhost::MakeFactory(options);
    if (!factory || !factory->GetDeviceContext("opencl") || !factory->GetDeviceContext("opengl"))
        GTEST_SKIP() << "needs both an OpenCL and an OpenGL device";
    IOrvex* lab = CreateOrvex();
    const std::string root = std::string(ORVEX_SOURCE_DIR) + "/resources";
    lab->SetResourcePath(root.c_str(), 0);
    lab->SetResourcePath((root + "/video/effect").c_str(), 2);
    lab->SetATLUFactory(factory.get());
    IOrvexEffect* e = lab->CreateOrvexEffect("video/effect/pixelate");
    ASSERT_NE(e, nullptr);
    e->SetGPUAvailability(false, true);  // the shader body, not a failing OpenCL body first
    HostFrame in = RandomFrame(40, 24, 5);
    HostFrame out = SolidFrame(40, 24, cv::Scalar::all(0));
    in.frame->texture = orvexhost::UploadFrame(*factory, *in.frame, "opencl");
    out.frame->texture = orvexhost::CreateTextureLike(*factory, *out.frame, "opencl");
    std::vector<EffectFramePtr> inputs{in.frame};
    EXPECT_EQ(e->Render(nullptr, 0, nullptr, inputs, out.frame), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*out.frame->texture, *out.frame));
    EXPECT_EQ(At(out, 3, 3), At(in, 8, 8));
    EXPECT_EQ(At(out, 39, 23), At(in, 39, 23));
    lab->ReleaseOrvexEffect(e);
    ReleaseOrvex(lab);
    g_atlu_factory = nullptr;
}

}  // namespace
