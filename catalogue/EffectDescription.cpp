#include "orvex/EffectDescription.h"

#include "catalogue/DescriptionFiles.h"
#include "orvex/ResultCode.h"

namespace orvex {

namespace {

using descfile::Member;

// Every accessor treats a key holding another JSON type as absent: an effect then runs with its
// defaults instead of failing on a description written by hand.

std::string TextOr(const JsonDocument& document, const char* key, const std::string& fallback) {
    const JsonDocument* value = Member(document, key);
    return value && value->is_string() ? value->get_ref<const std::string&>() : fallback;
}

bool FlagOr(const JsonDocument& document, const char* key, bool fallback) {
    const JsonDocument* value = Member(document, key);
    return value && value->is_boolean() ? value->get<bool>() : fallback;
}

// A list with any element that is not text is absent as a whole, not partly read.
std::vector<std::string> TextList(const JsonDocument& document, const char* key) {
    std::vector<std::string> list;
    const JsonDocument* value = Member(document, key);
    if (!value || !value->is_array()) return list;
    for (const JsonDocument& element : *value) {
        if (!element.is_string()) return {};
        list.push_back(element.get_ref<const std::string&>());
    }
    return list;
}

}  // namespace

// The effect name is not needed to find the file: the folder registered under it is passed in.
int EffectDescription::Load(const std::string& descriptionFolder, const std::string& /*name*/) {
    document = nullptr;
    folder.clear();
    inputNames.clear();
    std::string text;
    try {
        if (!descfile::ReadRegularFile(descriptionFolder + "/description.json", text)) return Failed;
        document = descfile::ParseJsonOrNull(text);
        folder = descriptionFolder;
    } catch (const std::exception&) {
        document = nullptr;
        return Failed;
    }
    return Ok;
}

std::string EffectDescription::GetDisplayName() const { return TextOr(document, "display_name", ""); }

std::string EffectDescription::GetEffectType() const { return TextOr(document, "effect_type", ""); }

std::string EffectDescription::GetBlendScript() const { return TextOr(document, "blend_script", ""); }

std::vector<std::string> EffectDescription::GetOpenGLFragments() const { return TextList(document, "opengl_frag"); }

int EffectDescription::GetQuality() const {
    // Exact, case-sensitive names: "HIGH" is not "high" and falls back to medium.
    const std::string quality = TextOr(document, "quality", "");
    if (quality == "low") return 0;
    if (quality == "high") return 2;
    return 1;
}

bool EffectDescription::IsOriginal() const { return FlagOr(document, "original", false); }

bool EffectDescription::NeedsBlend() const { return !FlagOr(document, "without_blend", false); }

bool EffectDescription::HasInput(const std::string& name) {
    if (inputNames.empty()) {
        for (const std::string& input : TextList(document, "input_list")) inputNames[input] = 1;
    }
    return inputNames.count(name) != 0;
}

}  // namespace orvex
