// The catalogue's records: the host's GUID tables, the ".conf" and "filter.xml" readers, and
// registration by GUID and by effect name.
#include <sys/resource.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "catalogue_fixture.h"
#include "log_capture.h"

namespace orvextest {
namespace {

using orvex::CNLECGFilterManager;
using orvex::JsonDocument;

JsonDocument Json(const std::string& text) { return JsonDocument::parse(text, nullptr, false); }

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST_F(CatalogueTest, OneInstanceUntilDestroyedAndItStartsWithTheEmptyEntry) {
    EXPECT_EQ(CNLECGFilterManager::GetInstance(), catalogue_);
    auto empty = Registered("0");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->guid, "");

    ASSERT_EQ(catalogue_->AddFilterToConstructor(catalogue_->BuildFilterInfoFromJson(Json(R"({"GUID":"G"})"), ""), "p"), 0);
    delete catalogue_;
    catalogue_ = CNLECGFilterManager::GetInstance();
    ASSERT_NE(catalogue_, nullptr);
    EXPECT_EQ(Registered("G"), nullptr) << "a new catalogue starts empty";
    EXPECT_NE(Registered("0"), nullptr);

    EXPECT_EQ(catalogue_->SetRootPath(nullptr), orvex::PathUnavailable);
    EXPECT_EQ(catalogue_->SetRootPath("/res"), orvex::Ok);
    EXPECT_EQ(catalogue_->RootPath(), "/res");
}

TEST_F(CatalogueTest, CreationRaisesTheSoftOpenFileLimitTowards8192) {
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    const rlim_t hard = original.rlim_max;
    const rlim_t capped = hard == RLIM_INFINITY ? 8192 : std::min<rlim_t>(8192, hard);
    struct Case {
        rlim_t soft, expected;
    };
    std::vector<Case> cases = {{64, capped}};
    if (hard != RLIM_INFINITY && hard > 8192) cases.push_back({hard, hard});  // never lowered
    for (const Case& c : cases) {
        SCOPED_TRACE(c.soft);
        rlimit limit = original;
        limit.rlim_cur = c.soft;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        delete catalogue_;
        catalogue_ = CNLECGFilterManager::GetInstance();
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
        EXPECT_EQ(limit.rlim_cur, c.expected);
        EXPECT_EQ(limit.rlim_max, hard);
    }
    setrlimit(RLIMIT_NOFILE, &original);
}

TEST_F(CatalogueTest, GuidTablesMarkHostFilters) {
    struct Case {
        const char* guid;
        int32_t cpuFlag, cpuId;
        int32_t openclFlag, openclId;
    };
    const Case cases[] = {
        {"45D9AD95-4F03-4B2F-A8C7-8F7817B73FA4", 1, 3, 1, 34},
        {"892D1D4B-90F3-4795-BF20-D9AB8E7703E3", 1, 89, 0, 0},    // listed as 32, then again as 89
        {"ADEC1819-598F-4CFE-B89B-FA3355AD4220", 1, 1, 0, 0},     // first record of the CPU table
        {"5C720A04-AC9C-4DF3-811D-EDB3C1B0D14A", 1, 104, 0, 0},   // last record of the CPU table
        {"087D905B-2CF2-4928-9184-76BC535D26BC", 0, 0, 1, 102},   // last record of the OpenCL table
        {"97F7C94A-0B47-4178-8C30-2B9984754D60", 1, 24, 1, 24},
        {"1A09570B-8B15-444b-A074-33685EE7E086", 0, 0, 1, 40},    // lower-case digits as listed
        {"1A09570B-8B15-444B-A074-33685EE7E086", 0, 0, 0, 0},     // GUIDs compare with case
        {"00000000-0000-0000-0000-000000000000", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.guid);
        auto info = catalogue_->BuildFilterInfoFromJson(JsonDocument{{"GUID", c.guid}}, "/fx/");
        ASSERT_EQ(catalogue_->AddFilterToConstructor(info, "/fx/a.conf"), 0);
        auto stored = Registered(c.guid);
        ASSERT_EQ(stored, info);
        EXPECT_EQ(stored->isCpuTableFilter, c.cpuFlag);
        EXPECT_EQ(stored->cpuFilterId, c.cpuId);
        EXPECT_EQ(stored->isOpenCLTableFilter, c.openclFlag);
        EXPECT_EQ(stored->hasOpenCL, c.openclFlag) << "an OpenCL-table filter has an OpenCL path";
        EXPECT_EQ(stored->openclFilterId, c.openclId);
    }
}

TEST_F(CatalogueTest, ConfFileFillsTheRecord) {
    catalogue_->SetRootPath("/root");
    catalogue_->SetAuxPath("/aux");
    const std::string path = Write("fx/glow.conf", R"({
        "GUID": "G-FULL", "NAME": "Glow", "OPENCL": "glow.cl", "OPENGL": "glow.frag",
        "OPENGL_VERTEX": "glow.vert", "OPENGL_TYPE": "2d", "SUB_GUID": "S-1",
        "DYNAMIC": "2", "ENCRYPT": "1", "ImageAlphaTrans": null, "ImageFile": "wipe.png",
        "FUNCTION": 2.9, "INNERROI": true, "IGNOREDEF": -3.7,
        "TEXTURES": [{"TYPE": "image", "FILE": "x.png"}, {"TYPE": "lut", "FILE": "y.cube"}],
        "PARAMS": [
            {"NAME": "radius", "ALIAS": "r", "TYPE": "float", "MIN": 0, "MAX": 1.5, "DEFAULT": 0.25},
            {"NAME": "count", "TYPE": "int", "MIN": -4, "MAX": 9.8, "DEFAULT": 3},
            {"NAME": "curve", "TYPE": "bezier", "DEFAULT": 1},
            {"NAME": "centre", "TYPE": "point", "MAX": 7},
            {"NAME": "file", "TYPE": "string", "DEFAULT": "file:/a.png"}
        ]})");
    const std::string folder = Path("fx/");
    LogCapture cap;
    ASSERT_EQ(catalogue_->LoadConfFile(path), 0);
    auto info = Registered("G-FULL");
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(cap.Has("Transition: G-FULL is registered from: " + path, "CNLECGFilterManager::AddFilterToConstructor", 4))
        << cap.Dump();

    EXPECT_EQ(info->name, "Glow");
    EXPECT_EQ(info->openclProgramPath, folder + "glow.cl");
    EXPECT_EQ(info->openglFragmentPath, folder + "glow.frag");
    EXPECT_EQ(info->openglVertexPath, folder + "glow.vert");
    EXPECT_EQ(info->hasOpenCL, 1);
    EXPECT_EQ(info->hasOpenGL, 1);
    EXPECT_EQ(info->hasOpenGLVertex, 1);
    EXPECT_EQ(info->openglType, "2d");
    EXPECT_EQ(info->subGuid, "S-1");
    EXPECT_EQ(info->kernelName, "MAIN");
    EXPECT_EQ(info->dynamic, 2);
    EXPECT_EQ(info->encrypt, 1);
    EXPECT_EQ(info->transitionType, 2);
    EXPECT_EQ(info->imageFile, folder + "wipe.png");
    EXPECT_EQ(info->function, 2);
    EXPECT_EQ(info->innerRoi, 1);
    EXPECT_EQ(info->ignoreDefault, -3);  // cut toward zero
    EXPECT_EQ(info->rootPath, "/root");
    EXPECT_EQ(info->auxPath, "/aux");

    EXPECT_EQ(info->textureCount, 2);
    EXPECT_EQ(info->textures["Texture[0]"], folder + "x.png");
    EXPECT_EQ(info->textures["Texture[1]"], "lut|" + folder + "y.cube");

    // The unknown "bezier" is skipped without using up an index.
    ASSERT_EQ(info->paramCount, 4);
    ASSERT_EQ(info->params.size(), 4u);
    const auto& radius = *info->params["Param[0]"];
    EXPECT_EQ(radius.name, "radius");
    EXPECT_EQ(radius.alias, "r");
    EXPECT_EQ(radius.valueType, 3);
    EXPECT_EQ(radius.maximum.AsFloat(), 1.5f);
    EXPECT_EQ(radius.defaultValue.AsFloat(), 0.25f);
    EXPECT_EQ(radius.current.AsFloat(), 0.25f);
    const auto& count = *info->params["Param[1]"];
    EXPECT_EQ(count.valueType, 5);
    EXPECT_EQ(count.minimum.AsInt(), -4);
    EXPECT_EQ(count.maximum.AsInt(), 9);
    EXPECT_EQ(count.current.AsInt(), 3);
    const auto& centre = *info->params["Param[2]"];
    EXPECT_EQ(centre.name, "centre");
    EXPECT_EQ(centre.valueType, 5);
    EXPECT_EQ(centre.maximum.AsInt(), 7);
    EXPECT_EQ(centre.defaultValue.AsInt(), 0) << "a missing DEFAULT stays zero";
    const auto& file = *info->params["Param[3]"];
    EXPECT_EQ(file.valueType, 6);
    EXPECT_EQ(file.defaultValue.AsText(), "");
    EXPECT_EQ(file.current.AsText(), "");
}

// A ".conf" is taken or refused as a whole: a refused one registers nothing and yields 1.
TEST_F(CatalogueTest, ConfDocumentsAreAcceptedOrRefusedWhole) {
    struct Case {
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {R"({"GUID":"G"})", true},
        {R"({"GUID":"G","ImageFile":5})", true},  // read only for a transition
        {R"({"GUID":"G","PARAMS":[{"NAME":"n"},{"TYPE":"curve","MIN":"x"}]})", true},  // skipped elements
        {"", false},
        {"{", false},
        {"null", false},
        {"{}", false},
        {"[]", false},
        {R"([{"GUID":"G"}])", false},
        {R"("G")", false},
        {"{\"GUID\":\"G\xff\"}", false},  // not UTF-8
        {R"({"NAME":"x"})", false},
        {R"({"GUID":""})", false},
        {R"({"GUID":7})", false},
        {R"({"GUID":"G","FUNCTION":"1"})", false},
        {R"({"GUID":"G","INNERROI":[1]})", false},
        {R"({"GUID":"G","FUNCTION":1e12})", false},
        {R"({"GUID":"G","DYNAMIC":2})", false},
        {R"({"GUID":"G","DYNAMIC":"two"})", false},
        {R"({"GUID":"G","ENCRYPT":""})", false},
        {R"({"GUID":"G","OPENCL":3})", false},
        {R"({"GUID":"G","NAME":null})", false},
        {R"({"GUID":"G","ImageAlphaTrans":1,"ImageFile":5})", false},
        {R"({"GUID":"G","TEXTURES":{}})", false},
        {R"({"GUID":"G","TEXTURES":["x.png"]})", false},
        {R"({"GUID":"G","TEXTURES":[{"TYPE":"image"}]})", false},
        {R"({"GUID":"G","PARAMS":"x"})", false},
        {R"({"GUID":"G","PARAMS":[5]})", false},
        {R"({"GUID":"G","PARAMS":[{"TYPE":3}]})", false},
        {R"({"GUID":"G","PARAMS":[{"TYPE":"float","MIN":"a"}]})", false},
        {R"({"GUID":"G","PARAMS":[{"TYPE":"float","MAX":1e300}]})", false},
        {R"({"GUID":"G","PARAMS":[{"TYPE":"point","DEFAULT":[1,2]}]})", false},
        // File names that leave the folder: a downloaded pack must not reach the rest of the disk.
        {R"({"GUID":"G","OPENGL":"../../../../etc/passwd"})", false},
        {R"({"GUID":"G","OPENCL":"/etc/passwd"})", false},
        {R"({"GUID":"G","TEXTURES":[{"TYPE":"lut","FILE":"../x.cube"}]})", false},
        {R"({"GUID":"G","ImageAlphaTrans":1,"ImageFile":"../../wipe.png"})", false},
        {R"({"GUID":"G","OPENGL":"sub/../glow.frag"})", true},
        {Repeat("[", 100000) + Repeat("]", 100000), false},  // deep nesting neither overflows nor registers
        {R"({"GUID":"G","X":)" + Repeat("[", 100000) + Repeat("]", 100000) + "}", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        EXPECT_EQ(catalogue_->BuildFilterInfoFromJson(Json(c.text), "/fx/") != nullptr, c.accepted);
        EXPECT_EQ(catalogue_->LoadConfFile(Write("fx/a.conf", c.text)), c.accepted ? 0 : 1);
        EXPECT_EQ(Registered("G") != nullptr, c.accepted);
        delete catalogue_;
        catalogue_ = CNLECGFilterManager::GetInstance();
    }
    EXPECT_EQ(catalogue_->LoadConfFile(Path("missing.conf")), 1);
    EXPECT_EQ(catalogue_->AddFilterToConstructor(nullptr, "p"), 1);
}

TEST_F(CatalogueTest, FirstRegistrationOfAGuidWinsAndLogsOnce) {
    auto first = catalogue_->BuildFilterInfoFromJson(Json(R"({"GUID":"G-DUP","NAME":"first"})"), "/a/");
    auto second = catalogue_->BuildFilterInfoFromJson(Json(R"({"GUID":"G-DUP","NAME":"second"})"), "/b/");
    LogCapture cap;
    EXPECT_EQ(catalogue_->AddFilterToConstructor(first, "/a/x.conf"), 0);
    EXPECT_EQ(catalogue_->AddFilterToConstructor(second, "/b/x.conf"), 0);
    EXPECT_EQ(Registered("G-DUP")->name, "first");
    EXPECT_TRUE(cap.Has("Effect: G-DUP is registered from: /a/x.conf", "CNLECGFilterManager::AddFilterToConstructor", 4))
        << cap.Dump();
    EXPECT_EQ(cap.lines().size(), 1u) << cap.Dump();
}

TEST_F(CatalogueTest, FilterXmlNeedsAGuidAndCreatesNoRecord) {
    struct Case {
        std::string text;
        int result;
    };
    const Case cases[] = {
        {"<Filter><GUID>X-1</GUID><Name>n</Name></Filter>", 0},
        {"<?xml version=\"1.0\"?><Filter><GUID>X-1</GUID><VideoOverlay><BlendType>abc</BlendType></VideoOverlay></Filter>", 0},
        {"<Other><GUID>X-1</GUID></Other>", 1},
        {"<Filter><GUID></GUID></Filter>", 1},
        {"<Filter><Name>X-1</Name></Filter>", 1},
        {"<Filter><GUID>X-1</GUID>", 1},  // unclosed
        {"", 1},
        {"<Filter>" + Repeat("<a>", 5000) + Repeat("</a>", 5000) + "<GUID>X-1</GUID></Filter>", 1},  // too deep
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        LogCapture cap;
        const std::string path = Write("fx/filter.xml", c.text);
        EXPECT_EQ(catalogue_->LoadFilterXmlFile(path), c.result);
        EXPECT_EQ(cap.Has("Effect: X-1 is registered from " + Path("fx/"), "CNLECGFilterManager::GetFilterInfoFromXML", 4),
                  c.result == 0)
            << cap.Dump();
        EXPECT_EQ(Registered("X-1"), nullptr);
    }

    EXPECT_EQ(catalogue_->GetFilterInfoFromXML(nullptr, "/fx/"), 1);
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.Parse("<Filter><GUID>X-2</GUID></Filter>"), tinyxml2::XML_SUCCESS);
    EXPECT_EQ(catalogue_->GetFilterInfoFromXML(&document, "/fx/"), 0);
    EXPECT_EQ(catalogue_->GetFilterInfoFromXML(document.RootElement(), "/fx/"), 0);
    EXPECT_EQ(catalogue_->LoadFilterXmlFile(Path("missing.xml")), 1);
}

TEST_F(CatalogueTest, DescriptionJsonRegistersItsUniqueName) {
    struct Case {
        const char* text;
        int result;
    };
    const Case cases[] = {
        {R"({"unique_name":"video/effect/a"})", 0},
        {"null", 1},
        {"{}", 1},
        {"[]", 1},
        {R"(["unique_name"])", 1},
        {R"({"display_name":"a"})", 1},
        {R"({"unique_name":5})", 1},  // a wrong type counts as absent
        {R"({"unique_name":""})", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(catalogue_->SetDescriptionFromJson(Json(c.text), "/fx/a/"), c.result);
    }
    EXPECT_EQ(catalogue_->GetDescriptionFolder("video/effect/a"), "/fx/a/");
    EXPECT_EQ(catalogue_->GetDescriptionFolder("video/effect/b"), "");

    // The same name from a second folder replaces the first.
    ASSERT_EQ(catalogue_->LoadDescriptionJsonFile(Write("one/description.json", R"({"unique_name":"same"})")), 0);
    ASSERT_EQ(catalogue_->LoadDescriptionJsonFile(Write("two/description.json", R"({"unique_name":"same"})")), 0);
    EXPECT_EQ(catalogue_->GetDescriptionFolder("same"), Path("two/"));
    EXPECT_EQ(catalogue_->LoadDescriptionJsonFile(Path("three/description.json")), 1);
}

// Shader files named by a description resolve inside its folder, or inside the resource root for
// shared files; anything else refuses the description with PathUnavailable and says which file.
TEST_F(CatalogueTest, DescriptionFilesStayInsideTheFolderOrTheResourceRoot) {
    const std::string fx = Folder("tree/video/effect/fx") + "/";
    Write("tree/video/effect/blend/resample.frag", "void main() {}");
    Write("outside/secret.frag", "secret");
    std::filesystem::create_symlink(Path("outside/secret.frag"), fx + "linked.frag");
    catalogue_->SetRootPath(Path("tree").c_str());
    struct Case {
        std::string text;
        int result;
    };
    using orvex::Ok;
    using orvex::PathUnavailable;
    const Case cases[] = {
        {R"({"unique_name":"fx","opengl_frag":["a.frag","sub/b.frag"],"blend_script":"c.frag"})", Ok},
        {R"({"unique_name":"fx","blend_script":"../blend/resample.frag"})", Ok},  // shared, in the tree
        {R"({"unique_name":"fx","opengl_frag":["../../../../../../../../etc/passwd"]})", PathUnavailable},
        {R"({"unique_name":"fx","opengl_frag":["a.frag","/etc/passwd"]})", PathUnavailable},
        {R"({"unique_name":"fx","blend_script":"../../../../outside/secret.frag"})", PathUnavailable},
        {R"({"unique_name":"fx","opengl_frag":["linked.frag"]})", PathUnavailable},  // a link out of the tree
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        delete catalogue_;
        catalogue_ = CNLECGFilterManager::GetInstance();
        catalogue_->SetRootPath(Path("tree").c_str());
        LogCapture cap;
        EXPECT_EQ(catalogue_->SetDescriptionFromJson(Json(c.text), fx), c.result);
        EXPECT_EQ(Known("fx"), c.result == Ok);
        if (c.result != Ok) {
            bool named = false;
            for (const auto& line : cap.lines())
                named = named || line.message.rfind("description fx: file ", 0) == 0;
            EXPECT_TRUE(named) << cap.Dump();
        }
    }
}

}  // namespace
}  // namespace orvextest
