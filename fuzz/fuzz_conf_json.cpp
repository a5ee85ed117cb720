// ".conf" descriptions: arbitrary text through the JSON parse, the record builder and registration.
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
    CNLECGFilterManager* catalogue = CNLECGFilterManager::GetInstance();
    std::shared_ptr<NLEFilterInfo> info =
        catalogue->BuildFilterInfoFromJson(descfile::ParseJsonOrNull(text), "/fuzz/folder/");
    if (!info) return 0;
    if (info->guid.empty()) __builtin_trap();  // a record without its key must have been refused
    catalogue->AddFilterToConstructor(info, "/fuzz/folder/fuzz.conf");
    CNLECGFilterConstructor* found = nullptr;
    if (!catalogue->FindConstructor(info->guid, &found) || !found) __builtin_trap();
    // Every count matches what the record holds.
    if (info->paramCount != static_cast<int32_t>(info->params.size()) ||
        info->textureCount != static_cast<int32_t>(info->textures.size()))
        __builtin_trap();
    // Keep the catalogue small: a fresh one now and then, as ReleaseResources would give.
    if (catalogue->Guids().size() > 256) delete catalogue;
    return 0;
}
