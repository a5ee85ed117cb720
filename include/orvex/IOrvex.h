#pragma once
// The lab interface. Operation order is part of the binary contract with hosts.
#include <string>

#include "orvex/EffectDescription.h"
#include "orvex/IOrvexEffect.h"
#include "orvex/ResultCode.h"
#include "zrp/zrp.h"

namespace tinyxml2 {
class XMLNode;
}

namespace orvex {

using XmlNode = tinyxml2::XMLNode;

// What ReleaseOrvexFilter destroys for kind 1.
class IOrvexFilter {
public:
    virtual ~IOrvexFilter() = default;
};

class IOrvex {
public:
    virtual ~IOrvex() = default;                                                               // 1
    virtual IOrvexEffect* CreateOrvexEffect(const char* name) = 0;                             // 2
    virtual ResultCode ReleaseOrvexEffect(IOrvexEffect* effect) = 0;                           // 3
    virtual ResultCode ReservedOperation() = 0;                                                // 4
    virtual ResultCode ReleaseOrvexObject(IOrvexEffect* effect) = 0;                           // 5
    virtual ResultCode SetResourcePath(const char* path, int resourceType) = 0;                // 6
    virtual ResultCode SetCatalogueAuxPath(const char* path) = 0;                              // 7
    virtual ResultCode PrepareResource() = 0;                                                  // 8
    virtual ResultCode SetATLUFactory(zrp::ATLUFactory* factory) = 0;                          // 9
    virtual ResultCode SetGlobalFlag(bool value) = 0;                                          // 10
    virtual void ReleaseResources() = 0;                                                       // 11
    virtual void* CreateOrvexFilter(const char* name, int* kind) = 0;                          // 12
    virtual ResultCode ReleaseOrvexFilter(void* object, int kind) = 0;                         // 13
    virtual ResultCode GetEffectRenderKinds(const char* name, bool* isCpuFilter, bool* isOpenCL,
                                            bool* isOpenGL) = 0;                               // 14
    virtual IOrvexEffect* CreateOrvexEffectFromFolder(const char* folder) = 0;                 // 15
    virtual ResultCode LoadBuiltinPrograms() = 0;                                              // 16
    virtual int GetEffectFilterType(const char* name) = 0;                                     // 17
    virtual ResultCode GetTransitionType(const char* name) = 0;                                // 18
    virtual int GetEffectDynamic(const char* name) = 0;                                        // 19
    virtual ResultCode GetTransitionRenderKinds(const char* name, bool* cpuOrOpenGL, bool* isOpenCL,
                                                bool* extraFlag) = 0;                          // 20
    virtual ResultCode SetFilterInfoFromJson(const JsonDocument& description, const std::string& path) = 0;  // 21
    virtual ResultCode SetFilterInfoFromXML(const XmlNode* document, const std::string& path) = 0;           // 22
    virtual ResultCode SetDescriptionFromJson(const JsonDocument& description, const std::string& path) = 0; // 23
};

}  // namespace orvex
