// Every lab operation against null, unknown and malformed arguments: each answers with its result
// code (or a null object) and nothing crashes.
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "gpu/GpuDispatch.h"
#include "log_capture.h"
#include "orvex/orvex.h"

using namespace orvex;

namespace {

// Null objects read as Failed so that every row compares result codes.
ResultCode Created(IOrvex& lab, IOrvexEffect* effect) {
    if (!effect) return Failed;
    lab.ReleaseOrvexEffect(effect);
    return Ok;
}

ResultCode AsCode(int value) { return static_cast<ResultCode>(value); }

// A JSON value nested `depth` arrays deep.
JsonDocument Nested(int depth) {
    return JsonDocument::parse(std::string(depth, '[') + "0" + std::string(depth, ']'));
}

struct Row {
    std::string what;
    ResultCode expected;
    std::function<ResultCode(IOrvex&)> call;
};

}  // namespace

TEST(LabBadInput, EveryOperationAnswersWithItsCode) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(ORVEX_BINARY_DIR) / "tmp-reliability" / "lab-bad-input";
    fs::remove_all(dir);
    fs::create_directories(dir / "empty");
    fs::create_directories(dir / "unknown");
    std::ofstream(dir / "plain-file") << "not a folder";
    std::ofstream(dir / "unknown" / "description.json") << R"({"unique_name": "video/effect/none_such"})";
    const std::string file = (dir / "plain-file").string();
    const std::string empty = (dir / "empty").string();
    const std::string unknown = (dir / "unknown").string();
    const std::string longName(1 << 20, 'v');

    tinyxml2::XMLDocument noFilter, emptyGuid;
    noFilter.Parse("<Other><GUID>X</GUID></Other>");
    emptyGuid.Parse("<Filter><GUID></GUID></Filter>");
    bool flag = true;

    const std::vector<Row> rows = {
        {"CreateOrvexEffect(null)", Failed, [](IOrvex& l) { return Created(l, l.CreateOrvexEffect(nullptr)); }},
        {"CreateOrvexEffect(\"\")", Failed, [](IOrvex& l) { return Created(l, l.CreateOrvexEffect("")); }},
        {"CreateOrvexEffect(1 MB name)", Failed,
         [&](IOrvex& l) { return Created(l, l.CreateOrvexEffect(longName.c_str())); }},
        {"CreateOrvexEffect(format directives)", Failed,
         [](IOrvex& l) { return Created(l, l.CreateOrvexEffect("video/effect/%s%n%s%n")); }},
        {"CreateOrvexEffect(bytes that are not UTF-8)", Failed,
         [](IOrvex& l) { return Created(l, l.CreateOrvexEffect("video/\xff\xfe\xc0")); }},
        {"ReleaseOrvexEffect(null)", Failed, [](IOrvex& l) { return l.ReleaseOrvexEffect(nullptr); }},
        {"ReservedOperation", Ok, [](IOrvex& l) { return l.ReservedOperation(); }},
        {"ReleaseOrvexObject(null)", Failed, [](IOrvex& l) { return l.ReleaseOrvexObject(nullptr); }},
        {"SetResourcePath(null, 1)", PathUnavailable, [](IOrvex& l) { return l.SetResourcePath(nullptr, 1); }},
        {"SetResourcePath(null, 2)", PathUnavailable, [](IOrvex& l) { return l.SetResourcePath(nullptr, 2); }},
        {"SetResourcePath(null, 3)", Failed, [](IOrvex& l) { return l.SetResourcePath(nullptr, 3); }},
        {"SetResourcePath(null, -1)", Failed, [](IOrvex& l) { return l.SetResourcePath(nullptr, -1); }},
        {"SetResourcePath(missing folder, 1)", PathUnavailable,
         [](IOrvex& l) { return l.SetResourcePath("/nonexistent/orvex", 1); }},
        {"SetResourcePath(a file, 2)", PathUnavailable, [&](IOrvex& l) { return l.SetResourcePath(file.c_str(), 2); }},
        {"SetResourcePath(empty folder, 2)", Failed, [&](IOrvex& l) { return l.SetResourcePath(empty.c_str(), 2); }},
        {"SetResourcePath(null, 0)", PathUnavailable, [](IOrvex& l) { return l.SetResourcePath(nullptr, 0); }},
        {"SetCatalogueAuxPath(null)", Ok, [](IOrvex& l) { return l.SetCatalogueAuxPath(nullptr); }},
        {"PrepareResource", Ok, [](IOrvex& l) { return l.PrepareResource(); }},
        {"SetATLUFactory(null)", Failed, [](IOrvex& l) { return l.SetATLUFactory(nullptr); }},
        {"SetGlobalFlag", Ok, [](IOrvex& l) { return l.SetGlobalFlag(true); }},
        {"CreateOrvexFilter(null, null)", Failed,
         [](IOrvex& l) { return l.CreateOrvexFilter(nullptr, nullptr) ? Ok : Failed; }},
        {"ReleaseOrvexFilter(null, 1)", Failed, [](IOrvex& l) { return l.ReleaseOrvexFilter(nullptr, 1); }},
        {"ReleaseOrvexFilter(null, -7)", Failed, [](IOrvex& l) { return l.ReleaseOrvexFilter(nullptr, -7); }},
        {"GetEffectRenderKinds(null, null flags)", NotFound,
         [](IOrvex& l) { return l.GetEffectRenderKinds(nullptr, nullptr, nullptr, nullptr); }},
        // "0" is always registered: the flags are written, so null flag pointers must be skipped.
        {"GetEffectRenderKinds(\"0\", null flags)", Ok,
         [](IOrvex& l) { return l.GetEffectRenderKinds("0", nullptr, nullptr, nullptr); }},
        {"GetTransitionRenderKinds(\"0\", null flags)", Ok,
         [](IOrvex& l) { return l.GetTransitionRenderKinds("0", nullptr, nullptr, nullptr); }},
        {"GetTransitionRenderKinds(null)", NotFound,
         [&](IOrvex& l) { return l.GetTransitionRenderKinds(nullptr, &flag, &flag, &flag); }},
        {"CreateOrvexEffectFromFolder(null)", Failed,
         [](IOrvex& l) { return Created(l, l.CreateOrvexEffectFromFolder(nullptr)); }},
        {"CreateOrvexEffectFromFolder(a file)", Failed,
         [&](IOrvex& l) { return Created(l, l.CreateOrvexEffectFromFolder(file.c_str())); }},
        {"CreateOrvexEffectFromFolder(unknown effect)", Failed,
         [&](IOrvex& l) { return Created(l, l.CreateOrvexEffectFromFolder(unknown.c_str())); }},
        {"LoadBuiltinPrograms without a device", Failed, [](IOrvex& l) { return l.LoadBuiltinPrograms(); }},
        {"GetEffectFilterType(null)", Ok, [](IOrvex& l) { return AsCode(l.GetEffectFilterType(nullptr)); }},
        {"GetTransitionType(null)", Ok, [](IOrvex& l) { return l.GetTransitionType(nullptr); }},
        {"GetEffectDynamic(null)", Ok, [](IOrvex& l) { return AsCode(l.GetEffectDynamic(nullptr)); }},
        {"SetFilterInfoFromJson(null)", Failed, [](IOrvex& l) { return l.SetFilterInfoFromJson(nullptr, ""); }},
        {"SetFilterInfoFromJson(array)", Failed,
         [](IOrvex& l) { return l.SetFilterInfoFromJson(JsonDocument::array({1, 2}), ""); }},
        {"SetFilterInfoFromJson(GUID a number)", Failed,
         [](IOrvex& l) { return l.SetFilterInfoFromJson({{"GUID", 5}}, ""); }},
        {"SetFilterInfoFromJson(FUNCTION a text)", Failed,
         [](IOrvex& l) { return l.SetFilterInfoFromJson({{"GUID", "G1"}, {"FUNCTION", "x"}}, ""); }},
        {"SetFilterInfoFromJson(PARAMS of numbers)", Failed,
         [](IOrvex& l) { return l.SetFilterInfoFromJson({{"GUID", "G2"}, {"PARAMS", {1, 2}}}, ""); }},
        {"SetFilterInfoFromJson(MIN beyond a float)", Failed, [](IOrvex& l) {
             JsonDocument param = {{"TYPE", "float"}, {"MIN", 1e300}};
             return l.SetFilterInfoFromJson({{"GUID", "G3"}, {"PARAMS", {param}}}, "");
         }},
        {"SetFilterInfoFromJson(deeply nested extra key)", Ok,
         [](IOrvex& l) { return l.SetFilterInfoFromJson({{"GUID", "G4"}, {"EXTRA", Nested(10000)}}, ""); }},
        {"SetFilterInfoFromXML(null)", Failed, [](IOrvex& l) { return l.SetFilterInfoFromXML(nullptr, ""); }},
        {"SetFilterInfoFromXML(no Filter)", Failed, [&](IOrvex& l) { return l.SetFilterInfoFromXML(&noFilter, ""); }},
        {"SetFilterInfoFromXML(empty GUID)", Failed,
         [&](IOrvex& l) { return l.SetFilterInfoFromXML(&emptyGuid, ""); }},
        {"SetDescriptionFromJson(null)", Failed, [](IOrvex& l) { return l.SetDescriptionFromJson(nullptr, ""); }},
        {"SetDescriptionFromJson(unique_name a number)", Failed,
         [](IOrvex& l) { return l.SetDescriptionFromJson({{"unique_name", 3}}, ""); }},
        {"SetDescriptionFromJson(empty unique_name)", Failed,
         [](IOrvex& l) { return l.SetDescriptionFromJson({{"unique_name", ""}}, ""); }},
        {"ReleaseResources, then a catalogue question", Ok, [](IOrvex& l) {
             l.ReleaseResources();
             l.ReleaseResources();
             return l.GetEffectRenderKinds("0", nullptr, nullptr, nullptr);
         }},
    };

    IOrvex* lab = CreateOrvex();
    ASSERT_NE(lab, nullptr);
    for (const Row& row : rows) EXPECT_EQ(row.call(*lab), row.expected) << row.what;
    ReleaseOrvex(lab);
    g_atlu_factory = nullptr;
    fs::remove_all(dir);
}

// Each lab answers only for the effects it made: a pointer released twice, through another lab or
// never made by a lab frees nothing and says so; what the host forgets is freed with the lab.
TEST(LabBadInput, EffectsAreReleasedOnlyByTheLabThatMadeThem) {
    auto refusedAndLogged = [](IOrvex& lab, IOrvexEffect* effect) {
        orvextest::LogCapture log;
        EXPECT_EQ(lab.ReleaseOrvexEffect(effect), InvalidArgument);
        EXPECT_EQ(lab.ReleaseOrvexObject(effect), InvalidArgument);
        bool logged = false;
        for (const auto& line : log.lines())
            logged = logged || line.message.find("not created by this lab") != std::string::npos;
        EXPECT_TRUE(logged) << log.Dump();
    };
    IOrvex* first = CreateOrvex();
    IOrvex* second = CreateOrvex();
    ASSERT_TRUE(first && second);
    IOrvexEffect* effect = first->CreateOrvexEffect("video/effect/sharpen");
    ASSERT_NE(effect, nullptr);

    refusedAndLogged(*second, effect);
    EXPECT_EQ(effect->SetParam("NoSuchParameter", ParamInt, EffectParamValue::Int(30)), NotFound) << "still alive";
    int notAnEffect = 0;
    refusedAndLogged(*first, reinterpret_cast<IOrvexEffect*>(&notAnEffect));
    EXPECT_EQ(first->ReleaseOrvexEffect(effect), Ok);
    refusedAndLogged(*first, effect);  // already released

    // Forgotten effects: ReleaseResources frees those of its lab, ReleaseOrvex the rest.
    IOrvexEffect* forgotten[] = {first->CreateOrvexEffect("video/effect/sharpen"),
                                 first->CreateOrvexEffect("video/effect/offset"),
                                 second->CreateOrvexEffect("video/effect/crop")};
    for (IOrvexEffect* e : forgotten) ASSERT_NE(e, nullptr);
    {
        orvextest::LogCapture log;
        first->ReleaseResources();
        EXPECT_TRUE(log.Has("ReleaseResources: freed 2 effects the host did not release")) << log.Dump();
    }
    refusedAndLogged(*first, forgotten[0]);
    orvextest::LogCapture log;
    ReleaseOrvex(second);
    EXPECT_TRUE(log.Has("ReleaseOrvex: freed 1 effects the host did not release")) << log.Dump();
    ReleaseOrvex(first);
}
