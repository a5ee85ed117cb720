// EffectDescription: loading an effect's "description.json" and reading its settings.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue_fixture.h"
#include "orvex/EffectDescription.h"

namespace orvextest {
namespace {

using orvex::EffectDescription;

TEST_F(CatalogueTest, LoadReadsTheFolderDescription) {
    struct Case {
        const char* label;
        const char* text;  // null: no file; "<dir>": a folder named description.json
        int result;
        bool hasDocument;
    };
    const Case cases[] = {
        {"valid", R"({"display_name":"Glow"})", 0, true},
        {"malformed", R"({"display_name":)", 0, false},
        {"empty", "", 0, false},
        {"missing", nullptr, 1, false},
        {"folder in place of the file", "<dir>", 1, false},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string folder = Folder("fx" + std::to_string(index++));
        if (c.text && std::string(c.text) == "<dir>") {
            Folder(folder.substr(root_.size() + 1) + "/description.json");
        } else if (c.text) {
            Write(folder.substr(root_.size() + 1) + "/description.json", c.text);
        }
        EffectDescription description;
        EXPECT_EQ(description.Load(folder, "video/effect/glow"), c.result);
        EXPECT_EQ(!description.document.is_null(), c.hasDocument);
        EXPECT_EQ(description.folder, c.result == 0 ? folder : "");
    }
}

TEST(EffectDescription, AccessorsTreatWrongTypesAsAbsent) {
    struct Case {
        const char* text;
        std::string displayName, effectType, blendScript;
        std::vector<std::string> fragments;
        int quality;
        bool original, needsBlend, human, mask;
    };
    const Case cases[] = {
        {R"({"display_name":"Glow","effect_type":"opengl_effect","blend_script":"mix.glsl",
             "opengl_frag":["a.frag","b.frag"],"quality":"high","original":true,"without_blend":true,
             "input_list":["human_segment"]})",
         "Glow", "opengl_effect", "mix.glsl", {"a.frag", "b.frag"}, 2, true, false, true, false},
        {R"({"quality":"low","without_blend":false,"input_list":["mask","other"]})", "", "", "", {}, 0, false, true, false, true},
        {R"({"quality":"medium"})", "", "", "", {}, 1, false, true, false, false},
        {R"({"quality":"HIGH"})", "", "", "", {}, 1, false, true, false, false},  // exact names only
        {R"({"display_name":1,"effect_type":[],"blend_script":{},"opengl_frag":["a.frag",1],"quality":2,
             "original":"true","without_blend":1,"input_list":["mask",2]})",
         "", "", "", {}, 1, false, true, false, false},
        {R"({"opengl_frag":"a.frag","input_list":"mask"})", "", "", "", {}, 1, false, true, false, false},
        {"{}", "", "", "", {}, 1, false, true, false, false},
        {"[1,2]", "", "", "", {}, 1, false, true, false, false},
        {"null", "", "", "", {}, 1, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EffectDescription description;
        description.document = orvex::JsonDocument::parse(c.text);
        EXPECT_EQ(description.GetDisplayName(), c.displayName);
        EXPECT_EQ(description.GetEffectType(), c.effectType);
        EXPECT_EQ(description.GetBlendScript(), c.blendScript);
        EXPECT_EQ(description.GetOpenGLFragments(), c.fragments);
        EXPECT_EQ(description.GetQuality(), c.quality);
        EXPECT_EQ(description.IsOriginal(), c.original);
        EXPECT_EQ(description.NeedsBlend(), c.needsBlend);
        EXPECT_EQ(description.HasHumanSegmentInput(), c.human);
        EXPECT_EQ(description.HasMaskInput(), c.mask);
    }
}

}  // namespace
}  // namespace orvextest
