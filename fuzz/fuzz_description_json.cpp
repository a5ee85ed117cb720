// "description.json": arbitrary text through the JSON parse, the catalogue's registration and every
// accessor an effect reads its settings with.
#include <cstdint>
#include <string>

#include "catalogue/DescriptionFiles.h"
#include "catalogue/FilterManager.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    using namespace orvex;
    const std::string text(reinterpret_cast<const char*>(data), size);
    EffectDescription description;
    description.document = descfile::ParseJsonOrNull(text);
    description.folder = "/fuzz/folder";

    CNLECGFilterManager* catalogue = CNLECGFilterManager::GetInstance();
    if (catalogue->SetDescriptionFromJson(description.document, description.folder) == Ok) {
        const JsonDocument& name = description.document["unique_name"];
        if (catalogue->GetDescriptionFolder(name.get<std::string>()) != description.folder) __builtin_trap();
    }
    if (catalogue->DescriptionNames().size() > 256) delete catalogue;

    description.GetDisplayName();
    description.GetEffectType();
    description.GetBlendScript();
    description.GetOpenGLFragments();
    const int quality = description.GetQuality();
    if (quality < 0 || quality > 2) __builtin_trap();
    description.IsOriginal();
    description.NeedsBlend();
    description.HasHumanSegmentInput();
    description.HasMaskInput();
    return 0;
}
