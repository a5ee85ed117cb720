// The readers of ".conf" (JSON) and "filter.xml" descriptions.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <tinyxml2.h>

#include "catalogue/DescriptionFiles.h"
#include "catalogue/FilterManager.h"
#include "corelog.h"

namespace orvex {

namespace {

using descfile::Member;

// A ".conf" value that is present but of a type (or size) the record cannot hold makes the whole
// description unusable: a half-read record would register an effect that misbehaves later, so it
// is rejected as one without "GUID" is. Each reader below answers false for such a value.

bool ReadText(const JsonDocument& value, std::string& out) {
    if (!value.is_string()) return false;
    out = value.get_ref<const std::string&>();
    return true;
}

// "DYNAMIC" and "ENCRYPT" carry their number as base-10 text; text that is not wholly one 32-bit
// integer ("", "two", "2x") is refused rather than read as a guessed 0.
bool ReadDecimalText(const JsonDocument& value, int32_t& out) {
    if (!value.is_string()) return false;
    const std::string& text = value.get_ref<const std::string&>();
    const char* end = text.data() + text.size();
    int32_t parsed = 0;
    auto [stop, error] = std::from_chars(text.data(), end, parsed);
    if (error != std::errc() || stop != end) return false;
    out = parsed;
    return true;
}

// A number (a fraction is cut toward zero) or a boolean. Values beyond 32 bits are refused: a
// wrapped flag or bound would be a different setting than the file states.
bool ReadInteger(const JsonDocument& value, int32_t& out) {
    double number = 0;
    if (value.is_boolean()) {
        number = value.get<bool>() ? 1 : 0;
    } else if (value.is_number_unsigned()) {
        if (value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
        number = static_cast<double>(value.get<uint64_t>());
    } else if (value.is_number()) {
        number = std::trunc(value.get<double>());
    } else {
        return false;
    }
    if (!(number >= std::numeric_limits<int32_t>::min() && number <= std::numeric_limits<int32_t>::max())) return false;
    out = static_cast<int32_t>(number);
    return true;
}

bool ReadFloat(const JsonDocument& value, float& out) {
    double number = 0;
    if (value.is_boolean()) {
        number = value.get<bool>() ? 1 : 0;
    } else if (value.is_number()) {
        number = value.get<double>();
    } else {
        return false;
    }
    if (!(std::fabs(number) <= std::numeric_limits<float>::max())) return false;
    out = static_cast<float>(number);
    return true;
}

struct TextKey {
    const char* key;
    std::string NLEFilterInfo::*field;
    bool inFolder;                   // the value names a file of the description's folder
    int32_t NLEFilterInfo::*flag;    // set when the key is present, or null
};

const TextKey kTextKeys[] = {
    {"OPENCL", &NLEFilterInfo::openclProgramPath, true, &NLEFilterInfo::hasOpenCL},
    {"OPENGL", &NLEFilterInfo::openglFragmentPath, true, &NLEFilterInfo::hasOpenGL},
    {"OPENGL_VERTEX", &NLEFilterInfo::openglVertexPath, true, &NLEFilterInfo::hasOpenGLVertex},
    {"NAME", &NLEFilterInfo::name, false, nullptr},
    {"OPENGL_TYPE", &NLEFilterInfo::openglType, false, nullptr},
    {"SUB_GUID", &NLEFilterInfo::subGuid, false, nullptr},
};

struct IntegerKey {
    const char* key;
    int32_t NLEFilterInfo::*field;
    bool decimalText;  // held as text of digits rather than as a JSON number
};

const IntegerKey kIntegerKeys[] = {
    {"DYNAMIC", &NLEFilterInfo::dynamic, true},
    {"ENCRYPT", &NLEFilterInfo::encrypt, true},
    {"FUNCTION", &NLEFilterInfo::function, false},
    {"INNERROI", &NLEFilterInfo::innerRoi, false},
    {"IGNOREDEF", &NLEFilterInfo::ignoreDefault, false},
};

// A file named by a conf stays inside its folder or the resource tree; the refusal names both the
// description and the file.
struct FileCheck {
    const std::string& folder;
    const std::string& root;
    const std::string& guid;
    bool operator()(const std::string& name) const {
        if (descfile::ResolvesInside(folder, name, root)) return true;
        ORVEX_LOG(6, "CNLECGFilterManager::BuildFilterInfoFromJson",
                  "description %s: file %s resolves outside its folder", guid.c_str(), name.c_str());
        return false;
    }
};

// "TEXTURES": each element is {"TYPE": text, "FILE": text}; an image is a plain file path, any
// other kind travels as "<TYPE>|<path>" so the renderer knows how to load it.
bool ReadTextures(const JsonDocument& list, const std::string& folder, const FileCheck& inside,
                  std::vector<std::string>& entries) {
    if (!list.is_array()) return false;
    for (const JsonDocument& element : list) {
        const JsonDocument* type = Member(element, "TYPE");
        const JsonDocument* file = Member(element, "FILE");
        std::string kind, name;
        if (!type || !file || !ReadText(*type, kind) || !ReadText(*file, name) || !inside(name)) return false;
        entries.push_back(kind == "image" ? folder + name : kind + "|" + folder + name);
    }
    return true;
}

// A missing bound stays zero. "point" values are read like "int" ones, one integer per value: the
// record has no room for coordinates, so an array there is refused as a wrong type.
bool ReadParamValue(const JsonDocument& element, const char* key, int32_t valueType, EffectParamValue& out) {
    const JsonDocument* value = Member(element, key);
    if (!value) return true;
    if (valueType == ParamFloat) {
        float number = 0;
        if (!ReadFloat(*value, number)) return false;
        out = EffectParamValue::Float(number);
    } else {
        int32_t number = 0;
        if (!ReadInteger(*value, number)) return false;
        out = EffectParamValue::Int(number);
    }
    return true;
}

// An element without a known "TYPE" is skipped (a newer host may add kinds); an element that is
// not an object, or holds a value of the wrong type, rejects the description.
bool ReadParams(const JsonDocument& list, std::vector<std::shared_ptr<NLEFilterParams>>& params) {
    if (!list.is_array()) return false;
    for (const JsonDocument& element : list) {
        if (!element.is_object()) return false;
        auto param = std::make_shared<NLEFilterParams>();
        std::string type;
        const JsonDocument* name = Member(element, "NAME");
        const JsonDocument* alias = Member(element, "ALIAS");
        const JsonDocument* typeValue = Member(element, "TYPE");
        if ((name && !ReadText(*name, param->name)) || (alias && !ReadText(*alias, param->alias)) ||
            (typeValue && !ReadText(*typeValue, type))) {
            return false;
        }
        if (type == "float") {
            param->valueType = ParamFloat;
        } else if (type == "int" || type == "point") {
            param->valueType = ParamInt;
        } else if (type == "string") {
            param->valueType = ParamText;  // its bounds and default are empty texts
        } else {
            continue;
        }
        if (param->valueType != ParamText &&
            (!ReadParamValue(element, "MIN", param->valueType, param->minimum) ||
             !ReadParamValue(element, "MAX", param->valueType, param->maximum) ||
             !ReadParamValue(element, "DEFAULT", param->valueType, param->defaultValue))) {
            return false;
        }
        param->current = param->defaultValue;
        params.push_back(std::move(param));
    }
    return true;
}

bool ReadConf(const JsonDocument& document, const std::string& folder, const std::string& root, NLEFilterInfo& info) {
    const JsonDocument* guid = Member(document, "GUID");
    if (!guid || !ReadText(*guid, info.guid) || info.guid.empty()) return false;
    const FileCheck inside{folder, root, info.guid};

    for (const TextKey& key : kTextKeys) {
        const JsonDocument* value = Member(document, key.key);
        if (!value) continue;
        std::string text;
        if (!ReadText(*value, text) || (key.inFolder && !inside(text))) return false;
        info.*key.field = key.inFolder ? folder + text : text;
        if (key.flag) info.*key.flag = 1;
    }
    for (const IntegerKey& key : kIntegerKeys) {
        const JsonDocument* value = Member(document, key.key);
        if (value && !(key.decimalText ? ReadDecimalText(*value, info.*key.field) : ReadInteger(*value, info.*key.field))) {
            return false;
        }
    }
    if (Member(document, "ImageAlphaTrans")) {
        info.transitionType = 2;
        if (const JsonDocument* file = Member(document, "ImageFile")) {
            std::string name;
            if (!ReadText(*file, name) || !inside(name)) return false;
            info.imageFile = folder + name;
        }
    }

    std::vector<std::string> textures;
    std::vector<std::shared_ptr<NLEFilterParams>> params;
    const JsonDocument* textureList = Member(document, "TEXTURES");
    const JsonDocument* paramList = Member(document, "PARAMS");
    if ((textureList && !ReadTextures(*textureList, folder, inside, textures)) || (paramList && !ReadParams(*paramList, params))) {
        return false;
    }
    std::lock_guard<std::mutex> guard(info.lock);
    for (size_t i = 0; i < textures.size(); ++i) info.textures["Texture[" + std::to_string(i) + "]"] = textures[i];
    for (size_t i = 0; i < params.size(); ++i) info.params["Param[" + std::to_string(i) + "]"] = params[i];
    info.textureCount = static_cast<int32_t>(textures.size());
    info.paramCount = static_cast<int32_t>(params.size());
    return true;
}

}  // namespace

std::shared_ptr<NLEFilterInfo> CNLECGFilterManager::BuildFilterInfoFromJson(const JsonDocument& document,
                                                                            const std::string& folder) {
    if (!document.is_object() || document.empty()) return nullptr;
    try {
        auto info = std::make_shared<NLEFilterInfo>();
        return ReadConf(document, folder, RootPath(), *info) ? info : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// A "filter.xml" names an entry by its GUID. Its other elements (overlays, SVG files, blend type)
// have no place in NLEFilterInfo yet, so no record is created and they are not read; the entry
// counts as found, which is what the folder scan and the lab report.
int CNLECGFilterManager::GetFilterInfoFromXML(const XmlNode* document, const std::string& folder) {
    if (!document) return Failed;
    const tinyxml2::XMLElement* filter = document->ToElement();
    if (!filter || std::string(filter->Name()) != "Filter") filter = document->FirstChildElement("Filter");
    if (!filter) return Failed;
    const tinyxml2::XMLElement* guid = filter->FirstChildElement("GUID");
    const char* text = guid ? guid->GetText() : nullptr;
    if (!text || !*text) return Failed;
    ORVEX_LOG(4, "CNLECGFilterManager::GetFilterInfoFromXML", "Effect: %s is registered from %s", text, folder.c_str());
    return Ok;
}

}  // namespace orvex
