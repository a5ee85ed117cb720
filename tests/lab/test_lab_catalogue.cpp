// The lab's questions about catalogue entries, folder scans and the shipped resource tree.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "effects/EffectSurface.h"
#include "fakes.h"
#include "gpu/GpuDispatch.h"
#include "lab/Orvex.h"
#include "log_capture.h"
#include "orvex/orvex.h"

using namespace orvex;
using orvextest::LogCapture;
namespace fs = std::filesystem;

namespace {

struct Lab {
    IOrvex* lab = CreateOrvex();
    ~Lab() {
        ReleaseOrvex(lab);
        g_atlu_factory = nullptr;
    }
    IOrvex* operator->() { return lab; }
};

fs::path TempDir(const std::string& name) {
    auto dir = fs::path(ORVEX_BINARY_DIR) / "tmp-lab-catalogue" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// GUIDs of the host tables: one only in the CPU table, one only in the OpenCL table.
constexpr const char* kCpuTableGuid = "ADEC1819-598F-4CFE-B89B-FA3355AD4220";
constexpr const char* kOpenCLTableGuid = "1A09570B-8B15-444b-A074-33685EE7E086";

void Register(Lab& lab, JsonDocument conf) { ASSERT_EQ(lab->SetFilterInfoFromJson(conf, "/descs/"), Ok); }

}  // namespace

TEST(LabCatalogue, RenderKindCodes) {
    orvextest::FakeFactory factory;
    factory.hasOpenCL = factory.hasOpenGL = true;
    struct Case {
        JsonDocument conf;
        int withDevices;     // code once the factory reported OpenCL and OpenGL devices
        int withoutDevices;  // code before any factory
        bool cpu, opencl, opengl;  // GetEffectRenderKinds
    } cases[] = {
        {{{"GUID", "PLAIN-0000"}}, 0, 0, false, false, false},
        {{{"GUID", kCpuTableGuid}}, 1, 1, true, false, false},
        {{{"GUID", "CL-0000"}, {"OPENCL", "x.cl"}}, 2, 0, false, true, false},
        {{{"GUID", kOpenCLTableGuid}}, 3, 0, false, true, false},
        {{{"GUID", "GL-0000"}, {"OPENGL", "x.frag"}}, 4, 0, false, false, true},
    };
    {
        Lab lab;
        for (const Case& c : cases) Register(lab, c.conf);
        for (const Case& c : cases) {
            const std::string guid = c.conf["GUID"];
            EXPECT_EQ(lab->GetEffectFilterType(guid.c_str()), c.withoutDevices) << guid;
            bool cpu, cl, gl;
            EXPECT_EQ(lab->GetEffectRenderKinds(guid.c_str(), &cpu, &cl, &gl), Ok);
            EXPECT_EQ(cpu, c.cpu) << guid;
            EXPECT_EQ(cl, c.opencl) << guid;
            EXPECT_EQ(gl, c.opengl) << guid;
        }
        ASSERT_EQ(lab->SetATLUFactory(&factory), Ok);
        for (const Case& c : cases) {
            const std::string guid = c.conf["GUID"];
            EXPECT_EQ(lab->GetEffectFilterType(guid.c_str()), c.withDevices) << guid;
        }
    }
}

TEST(LabCatalogue, TransitionsDynamicAndRegistrationFailures) {
    Lab lab;
    Register(lab, {{"GUID", "TR-0000"}, {"OPENCL", "t.cl"}, {"ImageAlphaTrans", 1}, {"DYNAMIC", "2"}});
    bool a = false, b = false, c = true;
    EXPECT_EQ(lab->GetTransitionRenderKinds("TR-0000", &a, &b, &c), Ok);
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    EXPECT_FALSE(c);  // never set
    EXPECT_EQ(lab->GetEffectDynamic("TR-0000"), 2);
    LogCapture log;
    EXPECT_EQ(lab->GetTransitionType("TR-0000"), Ok);
    EXPECT_TRUE(log.lines().empty());

    EXPECT_EQ(lab->SetFilterInfoFromJson(JsonDocument{{"NAME", "no guid"}}, "/p/a.conf"), Failed);
    EXPECT_TRUE(log.Has("json path: /p/a.conf create cg filter info failed", "orvex::Orvex::SetFilterInfoFromJson", 4));
    EXPECT_EQ(lab->SetFilterInfoFromXML(nullptr, "/p/filter.xml"), Failed);
    EXPECT_TRUE(log.Has("xml path: /p/filter.xml create filter info failed", "orvex::Orvex::SetFilterInfoFromXML", 4));
    EXPECT_EQ(lab->SetDescriptionFromJson(JsonDocument::object(), "/p/"), Failed);
    EXPECT_TRUE(log.Has("json path: /p/ create cg filter info failed", "orvex::Orvex::SetDescriptionFromJson", 4));
}

TEST(LabCatalogue, CreateFromFolderScansOnceAndCreatesTheNamedEffect) {
    Lab lab;
    auto dir = TempDir("bc");
    std::ofstream(dir / "description.json") << R"({"unique_name": "video/effect/brightness_contrast"})";
    IOrvexEffect* e = lab->CreateOrvexEffectFromFolder(dir.c_str());
    ASSERT_NE(e, nullptr);
    auto* s = dynamic_cast<EffectSurface*>(e);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Description().document.value("unique_name", ""), "video/effect/brightness_contrast");
    lab->ReleaseOrvexEffect(e);

    // A ".conf" added afterwards is not seen: the folder was scanned already.
    std::ofstream(dir / "late.conf") << R"({"GUID": "LATE-0000"})";
    e = lab->CreateOrvexEffectFromFolder(dir.c_str());
    EXPECT_NE(e, nullptr);
    lab->ReleaseOrvexEffect(e);
    bool cpu, cl, gl;
    EXPECT_EQ(lab->GetEffectRenderKinds("LATE-0000", &cpu, &cl, &gl), NotFound);

    LogCapture log;
    auto empty = TempDir("empty");
    EXPECT_EQ(lab->CreateOrvexEffectFromFolder(empty.c_str()), nullptr);
    EXPECT_TRUE(log.Has("CreateOrvexEffect:" + empty.string() + " is failed")) << log.Dump();
    EXPECT_EQ(lab->CreateOrvexEffectFromFolder(nullptr), nullptr);
}

TEST(LabCatalogue, ShippedTreeDescribesTheBuiltinEffects) {
    Lab lab;
    const std::string root = std::string(ORVEX_SOURCE_DIR) + "/resources";
    ASSERT_EQ(lab->SetResourcePath(root.c_str(), 0), Ok);
    ASSERT_EQ(lab->SetResourcePath((root + "/video/effect").c_str(), 2), Ok);
    IOrvexEffect* e = lab->CreateOrvexEffect("video/effect/brightness_contrast");
    ASSERT_NE(e, nullptr);
    const EffectDescription& d = dynamic_cast<EffectSurface*>(e)->Description();
    EXPECT_EQ(fs::path(d.folder).lexically_normal().parent_path().filename(), "brightness_contrast");
    EXPECT_EQ(d.document.value("unique_name", ""), "video/effect/brightness_contrast");
    EXPECT_FALSE(d.GetDisplayName().empty());
    lab->ReleaseOrvexEffect(e);
    // Type 1 enters only category folders ("2_", "3_", "4_", "16_" in the name): "video" is none,
    // while "4_color_gradient" is one.
    EXPECT_EQ(lab->SetResourcePath(root.c_str(), 1), Failed);
    EXPECT_EQ(lab->SetResourcePath((root + "/video/effect").c_str(), 1), Ok);
    EXPECT_EQ(lab->SetResourcePath((root + "/no/such/folder").c_str(), 2), PathUnavailable);
}
