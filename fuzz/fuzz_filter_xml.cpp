// "filter.xml": arbitrary text through the XML parse and the catalogue's reader, which must also
// cope with documents whose parse failed half way.
#include <cstdint>

#include <tinyxml2.h>

#include "catalogue/FilterManager.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    using namespace orvex;
    tinyxml2::XMLDocument document;
    document.Parse(reinterpret_cast<const char*>(data), size);
    CNLECGFilterManager* catalogue = CNLECGFilterManager::GetInstance();
    catalogue->GetFilterInfoFromXML(&document, "/fuzz/folder/");
    // A host may hand over any node of the document, not only its root.
    for (const tinyxml2::XMLNode* node = document.FirstChild(); node; node = node->NextSibling())
        catalogue->GetFilterInfoFromXML(node, "/fuzz/folder/");
    return 0;
}
