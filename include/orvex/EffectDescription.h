#pragma once
// The parsed "description.json" of an effect, handed to every new effect.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvex {

using JsonDocument = nlohmann::json;

struct EffectDescription {
    JsonDocument document;  // null when the file was missing or unreadable
    std::string folder;
    std::map<std::string, int32_t> inputNames;

    // Reads folder + "/description.json"; 0 when the file was read, 1 otherwise.
    int Load(const std::string& folder, const std::string& name);

    // Accessors of the document; a key of the wrong JSON type counts as absent.
    std::string GetDisplayName() const;
    std::string GetEffectType() const;
    std::string GetBlendScript() const;
    std::vector<std::string> GetOpenGLFragments() const;
    int GetQuality() const;  // "low" 0, "medium" 1, "high" 2; anything else 1
    bool IsOriginal() const;
    bool NeedsBlend() const;  // true unless "without_blend" is true
    bool HasInput(const std::string& name);
    bool HasHumanSegmentInput() { return HasInput("human_segment"); }
    bool HasMaskInput() { return HasInput("mask"); }
};

}  // namespace orvex
