// Effect programs loaded by the lab from description folders, plain and base64, rendering alike.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "frames.h"
#include "gpu/GpuDispatch.h"
#include "host/kit/kit.h"
#include "host/zrp/cl_backend.h"
#include "log_capture.h"
#include "lab/Orvex.h"
#include "orvex/orvex.h"

using namespace orvex;
namespace fs = std::filesystem;

namespace {

// The OpenCL tests run on PoCL where there is no GPU, so they name the CPU device.
orvexhost::KitOptions PoclOrGpu() {
    orvexhost::KitOptions options;
    options.openclOnCpu = true;
    return options;
}

std::string Base64(const std::string& bytes) {
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
        if (out.size() % 77 == 76) out += '\n';  // line breaks, as an encoder may write them
    }
    if (i < bytes.size()) {
        uint32_t v = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint8_t(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Renders brightness and contrast on textures with the program found in `folder`.
cv::Mat RenderWithProgramIn(const fs::path& folder, const orvextest::HostFrame& in) {
    auto factory = orvexhost::MakeFactory(PoclOrGpu());
    if (!factory) return {};
    IOrvex* lab = CreateOrvex();
    EXPECT_EQ(lab->SetDescriptionFromJson(JsonDocument{{"unique_name", "video/effect/brightness_contrast"}},
                                          folder.string()),
              Ok);
    lab->SetATLUFactory(factory.get());
    IOrvexEffect* e = lab->CreateOrvexEffect("video/effect/brightness_contrast");
    EXPECT_TRUE(IsProgramRegistered(OpenCL, "video_effect_brightness_contrast"));
    e->SetParam("contrast", ParamFloat, EffectParamValue::Float(-37));
    auto out = orvextest::SolidFrame(in.image.cols, in.image.rows, cv::Scalar::all(0));
    zrp::TexturePtr tin = orvexhost::UploadFrame(*factory, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*factory, *out.frame);
    EXPECT_EQ(e->ProcessOpenCL(0, tin, tout), Ok);
    EXPECT_TRUE(orvexhost::DownloadFrame(*tout, *out.frame));
    lab->ReleaseOrvexEffect(e);
    ReleaseOrvex(lab);
    g_atlu_factory = nullptr;
    return out.image;
}

}  // namespace

TEST(ProgramLoading, Base64ProgramRendersLikeItsPlainTwin) {
    if (!orvexhost::MakeFactory(PoclOrGpu())) GTEST_SKIP() << "no OpenCL device";
    std::ifstream file(std::string(ORVEX_SOURCE_DIR) + "/resources/video/effect/brightness_contrast/brightness_contrast.cl");
    std::stringstream text;
    text << file.rdbuf();
    ASSERT_FALSE(text.str().empty());

    const fs::path root = fs::path(ORVEX_BINARY_DIR) / "tmp-program-loading";
    fs::remove_all(root);
    for (const char* kind : {"plain", "base64"}) {
        const fs::path dir = root / kind;
        fs::create_directories(dir);
        const bool encoded = std::string(kind) == "base64";
        std::ofstream(dir / "brightness_contrast.cl", std::ios::binary) << (encoded ? Base64(text.str()) : text.str());
        std::ofstream(dir / "description.json")
            << JsonDocument{{"unique_name", "video/effect/brightness_contrast"}, {"ENCRYPT", encoded ? "1" : "0"}}.dump();
    }
    auto in = orvextest::RandomFrame(61, 37, 3);
    // Each render runs with its own factory, so the program is registered anew from its folder.
    cv::Mat plain = RenderWithProgramIn(root / "plain", in);
    cv::Mat decoded = RenderWithProgramIn(root / "base64", in);
    ASSERT_FALSE(plain.empty());
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(cv::norm(plain, decoded, cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(plain, in.image, cv::NORM_INF), 0);  // the effect did something
}

// A device that refuses a program: the OpenCL body fails with 1 and the compiler's log is logged,
// the device counts the refusal, and a render of textures gives the CPU body's picture.
TEST(ProgramLoading, AProgramThatDoesNotBuildFailsWithItsLogAndRendersOnTheCpu) {
    orvexhost::KitOptions options = PoclOrGpu();
    options.opengl = false;
    auto factory = orvexhost::MakeFactory(options);
    auto* cl = dynamic_cast<zrp::OpenCLFactory*>(factory.get());
    if (!cl) GTEST_SKIP() << "no OpenCL device";
    const fs::path dir = fs::path(ORVEX_BINARY_DIR) / "tmp-program-refused";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "brightness_contrast.cl") << "__kernel void video_effect_brightness_contrast(oops\n";
    std::ofstream(dir / "description.json") << JsonDocument{{"unique_name", "video/effect/brightness_contrast"}}.dump();

    orvextest::LogCapture log;
    IOrvex* lab = CreateOrvex();
    ASSERT_EQ(lab->SetDescriptionFromJson(JsonDocument{{"unique_name", "video/effect/brightness_contrast"}}, dir.string()),
              Ok);
    lab->SetATLUFactory(factory.get());
    IOrvexEffect* e = lab->CreateOrvexEffect("video/effect/brightness_contrast");
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(IsProgramRegistered(OpenCL, "video_effect_brightness_contrast"));
    bool buildLog = false;
    for (const auto& line : log.lines())
        buildLog |= line.message.find("program video_effect_brightness_contrast does not build") == 0 &&
                    line.message.find("error") != std::string::npos;
    EXPECT_TRUE(buildLog) << log.Dump();

    e->SetParam("contrast", ParamFloat, EffectParamValue::Float(-37));
    const auto in = orvextest::RandomFrame(45, 29, 5);
    auto cpu = orvextest::SolidFrame(45, 29, cv::Scalar::all(0));
    auto gpu = orvextest::SolidFrame(45, 29, cv::Scalar::all(0));
    ASSERT_EQ(e->ProcessCPU(0, in.frame.get(), cpu.frame.get()), Ok);
    zrp::TexturePtr tin = orvexhost::UploadFrame(*factory, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*factory, *gpu.frame);
    const int refused = cl->refusedRuns();
    EXPECT_EQ(e->ProcessOpenCL(0, tin, tout), Failed);
    EXPECT_GT(cl->refusedRuns(), refused);

    auto texIn = std::make_shared<EffectFrame>(*in.frame);
    auto texOut = std::make_shared<EffectFrame>(*gpu.frame);
    texIn->texture = tin;
    texOut->texture = tout;
    EXPECT_EQ(e->Render(nullptr, 0, nullptr, {texIn}, texOut), Ok);
    ASSERT_TRUE(orvexhost::DownloadFrame(*tout, *gpu.frame));
    EXPECT_EQ(cv::norm(cpu.image, gpu.image, cv::NORM_INF), 0);
    lab->ReleaseOrvexEffect(e);
    ReleaseOrvex(lab);
    g_atlu_factory = nullptr;
}
