// The lab through its interface: shared resource, effect creation, resource paths, the factory,
// program loading and the catalogue questions.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "effects/EffectSurface.h"
#include "fakes.h"
#include "frames.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"
#include "lab/Orvex.h"
#include "log_capture.h"
#include "orvex/orvex.h"
#include "visual/VisualProcess.h"

using namespace orvex;
using orvextest::LogCapture;

namespace {

struct LabPtr {
    IOrvex* lab = CreateOrvex();
    ~LabPtr() { ReleaseOrvex(lab); }
    IOrvex* operator->() { return lab; }
    Orvex& impl() { return *static_cast<Orvex*>(lab); }
};

// Restores the process-wide factory after a test that sets one.
struct FactoryScope {
    ~FactoryScope() { g_atlu_factory = nullptr; }
};

constexpr const char* kBC = "video/effect/brightness_contrast";

std::filesystem::path TempDir(const std::string& name) {
    auto dir = std::filesystem::path(ORVEX_BINARY_DIR) / "tmp-lab" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

TEST(Exports, CreateAndReleaseThroughTheFourFunctions) {
    ReleaseOrvex(nullptr);
    ReleaseVisualProcess(nullptr);
    IOrvex* lab = CreateOrvex();
    ASSERT_NE(lab, nullptr);
    IVisualProcess* vp = CreateVisualProcess();
    ASSERT_NE(vp, nullptr);
    int32_t code = 0;
    EXPECT_EQ(vp->GetCapabilityCode(&code), Ok);
    EXPECT_EQ(code, 6);
    ReleaseVisualProcess(vp);
    ReleaseOrvex(lab);
}

TEST(Lab, LabsShareOneResourceUntilTheLastIsReleased) {
    std::weak_ptr<OrvexResource> first;
    {
        LabPtr a, b;
        first = a.impl().Resource();
        EXPECT_EQ(first.lock(), b.impl().Resource());
        EXPECT_EQ(a->PrepareResource(), Ok);
        EXPECT_EQ(first.lock(), a.impl().Resource());
    }
    EXPECT_TRUE(first.expired());
    LabPtr c;
    EXPECT_NE(c.impl().Resource(), nullptr);
    EXPECT_NE(c.impl().Resource()->visualProcess, nullptr);
    EXPECT_NE(c.impl().Resource()->catalogue, nullptr);
    EXPECT_NE(c.impl().Resource()->imageProcHandle, 0u);
}

TEST(Lab, TrivialOperations) {
    LabPtr lab;
    EXPECT_EQ(lab->ReservedOperation(), Ok);
    EXPECT_EQ(lab->SetGlobalFlag(false), Ok);
    EXPECT_FALSE(Orvex::GlobalFlag());
    EXPECT_EQ(lab->SetGlobalFlag(true), Ok);
    EXPECT_EQ(lab->ReleaseOrvexEffect(nullptr), Failed);
    EXPECT_EQ(lab->ReleaseOrvexObject(nullptr), Failed);
    EXPECT_EQ(lab->ReleaseOrvexFilter(nullptr, 1), Failed);
    int alive = 5;
    EXPECT_EQ(lab->ReleaseOrvexFilter(&alive, 0), Ok);
    EXPECT_EQ(alive, 5);
    int kind = 7;
    EXPECT_EQ(lab->CreateOrvexFilter("anything", &kind), nullptr);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(lab->SetCatalogueAuxPath("/aux"), Ok);
    EXPECT_EQ(lab.impl().Resource()->auxPath, "/aux");
    EXPECT_EQ(lab->SetCatalogueAuxPath(nullptr), Ok);
}

TEST(Lab, CreateOrvexEffectByName) {
    LabPtr lab;
    LogCapture log;
    struct Case {
        const char* name;
        bool created;
    } cases[] = {
        {kBC, true},
        {"VIDEO/EFFECT/Brightness_Contrast", true},        // built-in names compare without case
        {"45D9AD95-4F03-4B2F-A8C7-8F7817B73FA4", false},   // no character of "video/effect": rejected
        {"video/effect/nope", false},                      // unknown
        {"", false},
    };
    for (const Case& c : cases) {
        log.Clear();
        IOrvexEffect* e = lab->CreateOrvexEffect(c.name);
        EXPECT_EQ(e != nullptr, c.created) << c.name;
        if (!c.created) {
            EXPECT_TRUE(log.Has(std::string("CreateOrvexEffect:") + c.name + " is failed",
                                "orvex::Orvex::CreateOrvexEffect", 6))
                << c.name << "\n"
                << log.Dump();
        }
        EXPECT_EQ(lab->ReleaseOrvexEffect(e), e ? Ok : Failed);
    }
    EXPECT_EQ(lab->CreateOrvexEffect(nullptr), nullptr);

    // Every row of the built-in table: creatable exactly when its family is built.
    size_t count = 0;
    const BuiltinEffect* rows = BuiltinEffects(&count);
    ASSERT_EQ(count, 54u);
    for (size_t i = 0; i < count; ++i) {
        IOrvexEffect* e = lab->CreateOrvexEffect(rows[i].name);
        EXPECT_EQ(e != nullptr, rows[i].create != nullptr) << rows[i].name;
        lab->ReleaseOrvexEffect(e);
    }
}

TEST(Lab, NewEffectIsConfiguredFromTheResource) {
    LabPtr lab;
    IOrvexEffect* e = lab->CreateOrvexEffect(kBC);
    ASSERT_NE(e, nullptr);
    auto* s = dynamic_cast<EffectSurface*>(e);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->VisualProcess(), lab.impl().Resource()->visualProcess);
    EXPECT_FALSE(s->OpenCLEnabled());
    EXPECT_FALSE(s->OpenGLEnabled());

    // And it renders end to end on host frames.
    ASSERT_EQ(e->SetParam("bright", ParamFloat, EffectParamValue::Float(0.f)), Ok);
    ASSERT_EQ(e->SetParam("contrast", ParamFloat, EffectParamValue::Float(100.f)), Ok);
    auto in = orvextest::SolidFrame(64, 200, cv::Scalar(126, 127, 200, 77));
    auto out = orvextest::SolidFrame(64, 200, cv::Scalar::all(0));
    ASSERT_EQ(e->Render(nullptr, 0, nullptr, {in.frame}, out.frame), Ok);
    EXPECT_EQ(out.image.at<cv::Vec4b>(199, 63), cv::Vec4b(0, 255, 255, 77));
    lab->ReleaseOrvexEffect(e);
}

TEST(Lab, SetResourcePath) {
    LabPtr lab;
    LogCapture log;
    auto root = TempDir("root");
    EXPECT_EQ(lab->SetResourcePath(root.c_str(), 0), Ok);
    EXPECT_TRUE(log.Has("Start SetResourcePath: " + root.string() + " ResourceType: 0", "orvex", 4));
    EXPECT_TRUE(log.Has("SetResourcePath End", "orvex", 4));
    EXPECT_EQ(lab.impl().Resource()->resourcePath, root.string());
    // The root is recorded once.
    EXPECT_EQ(lab->SetResourcePath("/elsewhere", 0), Ok);
    EXPECT_EQ(lab.impl().Resource()->resourcePath, root.string());

    log.Clear();
    EXPECT_EQ(lab->SetResourcePath(root.c_str(), 3), Failed);
    EXPECT_TRUE(log.Has("input path: " + root.string() + " didn't find any effect description file.",
                        "orvex::Orvex::SetResourcePath", 4))
        << log.Dump();
    EXPECT_EQ(lab->SetResourcePath(nullptr, 2), PathUnavailable);
}

TEST(Lab, SetATLUFactory) {
    FactoryScope scope;
    LabPtr lab;
    LogCapture log;
    EXPECT_EQ(lab->SetATLUFactory(nullptr), Failed);
    ASSERT_EQ(log.lines().size(), 1u) << log.Dump();
    EXPECT_TRUE(log.Has("SetATLUFactory Start", "orvex", 4));

    orvextest::FakeFactory none;
    log.Clear();
    EXPECT_EQ(lab->SetATLUFactory(&none), Ok);
    EXPECT_EQ(g_atlu_factory, &none);
    EXPECT_TRUE(log.Has("zrp OpenCL Device is nullptr", "orvex::CheckOpenCLDevice", 4));
    EXPECT_TRUE(log.Has("zrp OpenGL device is nullptr", "orvex::CheckOpenGLDevice", 4));
    EXPECT_TRUE(log.Has("SetATLUFactory End", "orvex", 4));
    EXPECT_EQ(lab->LoadBuiltinPrograms(), Failed);
    EXPECT_EQ(none.registerCalls, 0);

    orvextest::FakeFactory both;
    both.hasOpenCL = both.hasOpenGL = true;
    log.Clear();
    EXPECT_EQ(lab->SetATLUFactory(&both), Ok);
    EXPECT_TRUE(log.Has("zrp OpenCL Device is ok"));
    EXPECT_TRUE(log.Has("zrp OpenGL device is ok"));
    EXPECT_TRUE(lab.impl().Resource()->openclDeviceOk);
    EXPECT_TRUE(lab.impl().Resource()->openglDeviceOk);
    IOrvexEffect* e = lab->CreateOrvexEffect(kBC);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(dynamic_cast<EffectSurface*>(e)->OpenCLEnabled());
    EXPECT_EQ(dynamic_cast<EffectSurface*>(e)->Factory(), &both);
    lab->ReleaseOrvexEffect(e);
    // No description folders are registered, so the flip programs are not found.
    EXPECT_EQ(lab->LoadBuiltinPrograms(), Ok);
    EXPECT_EQ(both.registerCalls, 0);
}

TEST(Lab, LoadEffectProgramFromTheDescriptionFolder) {
    FactoryScope scope;
    LabPtr lab;
    orvextest::FakeFactory factory;
    factory.hasOpenCL = true;
    ASSERT_EQ(lab->SetATLUFactory(&factory), Ok);

    // No description folder for "video/effect/offset": nothing registered.
    EXPECT_EQ(lab.impl().LoadEffectProgram("offset/offset.cl", "video_effect_offset"), 1);
    EXPECT_EQ(factory.registerCalls, 0);

    const std::string kernel = "__kernel void video_effect_offset() {}";
    const std::string encoded = "X19rZXJuZWwgdm9pZCB2aWRlb19lZmZlY3Rfb2Zmc2V0KCkge30=";
    struct Case {
        const char* encrypt;  // null: no "ENCRYPT" key
        std::string fileText;
    } cases[] = {{nullptr, kernel}, {"0", kernel}, {"1", encoded}};
    for (const Case& c : cases) {
        factory.programs.clear();
        auto dir = TempDir("offset");
        JsonDocument desc = {{"unique_name", "video/effect/offset"}};
        if (c.encrypt) desc["ENCRYPT"] = c.encrypt;
        std::ofstream(dir / "description.json") << desc.dump();
        std::ofstream(dir / "offset.cl", std::ios::binary) << c.fileText;
        ASSERT_EQ(lab->SetDescriptionFromJson(desc, dir.string()), Ok);
        EXPECT_EQ(lab.impl().LoadEffectProgram("offset/offset.cl", "video_effect_offset"), 0);
        EXPECT_EQ(factory.programs["opencl/video_effect_offset"], kernel) << (c.encrypt ? c.encrypt : "absent");
    }
    // A second load of a registered key reads nothing and registers nothing.
    int calls = factory.registerCalls;
    std::filesystem::remove_all(std::filesystem::path(ORVEX_BINARY_DIR) / "tmp-lab" / "offset");
    EXPECT_EQ(lab.impl().LoadEffectProgram("offset/offset.cl", "video_effect_offset"), 0);
    EXPECT_EQ(factory.registerCalls, calls);
}

TEST(Lab, Base64AcceptsBothAlphabets) {
    EXPECT_EQ(DecodeBase64("aGVsbG8="), "hello");
    EXPECT_EQ(DecodeBase64("+/8A"), DecodeBase64("-_8A"));
    EXPECT_EQ(DecodeBase64("-_8A"), std::string("\xfb\xff\x00", 3));
    EXPECT_EQ(DecodeBase64("aGVs\nbG8="), "hello");  // line breaks are skipped
    EXPECT_EQ(DecodeBase64(""), "");
}

TEST(Lab, CatalogueQuestionsOnUnknownNames) {
    LabPtr lab;
    LogCapture log;
    EXPECT_EQ(lab->GetEffectFilterType("video/effect/gaussian_blur"), 0);
    EXPECT_TRUE(log.lines().empty()) << log.Dump();
    EXPECT_EQ(lab->GetEffectFilterType("0A0A0A0A-0000-0000-0000-000000000000"), 0);
    EXPECT_TRUE(log.Has("input effect name: 0A0A0A0A-0000-0000-0000-000000000000 is not register",
                        "Orvex::GetEffectFilterType", 6));
    EXPECT_EQ(lab->GetTransitionType("missing"), Ok);
    EXPECT_TRUE(log.Has("input transition name: missing is not register", "Orvex::GetTransitionType", 6));
    EXPECT_EQ(lab->GetEffectDynamic("video/effect/anything"), 0);
    EXPECT_EQ(lab->GetEffectDynamic("missing"), 0);
    bool a = true, b = true, c = true;
    EXPECT_EQ(lab->GetEffectRenderKinds("missing", &a, &b, &c), NotFound);
    EXPECT_FALSE(a || b || c);
    a = b = c = true;
    EXPECT_EQ(lab->GetTransitionRenderKinds("missing", &a, &b, &c), NotFound);
    EXPECT_FALSE(a || b || c);
}
