#pragma once
// The process-wide catalogue of effect and transition descriptions found in the host's resource
// tree: one record per GUID (from ".conf" or "filter.xml" files) and a map from effect name to
// description folder (from "description.json" files).
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvex/EffectDescription.h"
#include "orvex/EffectParam.h"
#include "orvex/IOrvex.h"

namespace orvex {

struct NLEFilterParams {
    std::string name;
    std::string alias;
    int32_t valueType = 0;  // 3 float, 5 integer, 6 text
    EffectParamValue minimum;
    EffectParamValue maximum;
    EffectParamValue defaultValue;
    EffectParamValue current;
};

struct NLEFilterInfo {
    std::string openclProgramPath;
    std::string openglFragmentPath;
    std::string openglVertexPath;
    std::string kernelName = "MAIN";
    std::string guid;
    std::string name;
    std::string imageFile;
    std::string rootPath;
    std::string auxPath;
    std::string openglType;
    std::string subGuid;
    const char* textureArgPrefix = "Texture[";
    int32_t hasOpenCL = 0;
    uint8_t isOpenCLTableFilter = 0;
    int32_t hasOpenGL = 0;
    int32_t hasOpenGLVertex = 0;
    int32_t isCpuTableFilter = 0;
    int32_t fifthKindFlag = 0;
    int32_t transitionType = 0;
    int32_t function = 0;
    int32_t innerRoi = 0;
    int32_t ignoreDefault = 0;
    int32_t textureCount = 0;
    int32_t paramCount = 0;
    int32_t encrypt = 0;
    int32_t dynamic = 0;
    std::mutex lock;  // guards textures and params
    std::map<std::string, std::string> textures;
    std::map<std::string, std::shared_ptr<NLEFilterParams>> params;
    int32_t cpuFilterId = 0;
    int32_t openclFilterId = 0;
};

class CNLECGFilterConstructor {
public:
    explicit CNLECGFilterConstructor(std::shared_ptr<NLEFilterInfo> info) : info_(std::move(info)) {}
    virtual ~CNLECGFilterConstructor() = default;
    const std::shared_ptr<NLEFilterInfo>& Info() const { return info_; }

private:
    std::shared_ptr<NLEFilterInfo> info_;
};

class CNLECGFilterManager {
public:
    // The process-wide catalogue, created under a process-wide lock on first call; null only if
    // creation fails. Destroying it clears the instance, so the next call creates a new one.
    static CNLECGFilterManager* GetInstance();
    virtual ~CNLECGFilterManager();

    void SetAuxPath(const std::string& path);
    // PathUnavailable for null, else Ok.
    ResultCode SetRootPath(const char* path);
    const std::string& RootPath() const { return rootPath_; }
    const std::string& AuxPath() const { return auxPath_; }

    bool openclReady = false;
    bool openglReady = false;

    // Under the lock: true and *out set when name (a GUID) is registered.
    bool FindConstructor(const std::string& name, CNLECGFilterConstructor** out);
    // The description folder registered for an effect name, or "".
    std::string GetDescriptionFolder(const std::string& name) const;
    // What is registered, for listing: effect names with a description folder, and GUIDs.
    std::vector<std::string> DescriptionNames() const;
    std::vector<std::string> Guids() const;

    // ".conf" reader: a record, or null when the document is unusable (no "GUID", wrong types).
    std::shared_ptr<NLEFilterInfo> BuildFilterInfoFromJson(const JsonDocument& document, const std::string& folder);
    // 0 on success (the first registration of a GUID wins), 1 for a null description.
    int AddFilterToConstructor(const std::shared_ptr<NLEFilterInfo>& info, const std::string& path);
    // 0 when the document's "Filter" element has a non-empty "GUID", else 1.
    int GetFilterInfoFromXML(const XmlNode* document, const std::string& folder);
    // "description.json" registration: 0 when "unique_name" was entered, else 1.
    int SetDescriptionFromJson(const JsonDocument& document, const std::string& folder);

    int LoadConfFile(const std::string& path);
    int LoadFilterXmlFile(const std::string& path);
    int LoadDescriptionJsonFile(const std::string& path);
    // 0 when at least one description was registered in the folder or below, 1 when none, 5 when
    // the folder cannot be listed.
    int ScanFolder(const std::string& path, bool categoryFilter);

private:
    CNLECGFilterManager();

    std::map<std::string, std::unique_ptr<CNLECGFilterConstructor>> constructors_;
    mutable std::mutex lock_;
    std::string rootPath_;
    std::string auxPath_;
    std::map<std::string, std::string> descriptionFolders_;
    std::map<std::string, int32_t> cpuFilterIds_;
    std::map<std::string, int32_t> openclFilterIds_;
};

}  // namespace orvex
