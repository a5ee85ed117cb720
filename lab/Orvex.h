#pragma once
// The lab object: a thin handle on the one OrvexResource that every lab of the process shares.
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "orvex/IOrvex.h"
#include "platform/imageproc.h"

namespace OPENCL {
class openclInit;
class openclMemManager;
class openclProgramManager;
}  // namespace OPENCL

namespace orvex {

class CNLECGFilterManager;
class VisualProcess;

struct OrvexResource {
    OrvexResource();
    ~OrvexResource();
    OrvexResource(const OrvexResource&) = delete;
    OrvexResource& operator=(const OrvexResource&) = delete;

    CNLECGFilterManager* catalogue = nullptr;
    OPENCL::openclInit* openclInit = nullptr;
    OPENCL::openclMemManager* openclMemManager = nullptr;
    OPENCL::openclProgramManager* openclProgramManager = nullptr;
    bool openclReady = false;
    bool openclDeviceOk = false;
    bool openglDeviceOk = false;
    VisualProcess* visualProcess = nullptr;
    std::string resourcePath;
    std::string auxPath;
    std::map<std::string, std::string> folderScanCache;
    std::mutex scanCacheLock;  // guards folderScanCache
    bool rootRecorded = false;
    ImageProcHandle imageProcHandle = 0;
};

class Orvex final : public IOrvex {
public:
    Orvex();
    ~Orvex() override;

    IOrvexEffect* CreateOrvexEffect(const char* name) override;
    ResultCode ReleaseOrvexEffect(IOrvexEffect* effect) override;
    ResultCode ReservedOperation() override { return Ok; }
    ResultCode ReleaseOrvexObject(IOrvexEffect* effect) override;
    ResultCode SetResourcePath(const char* path, int resourceType) override;
    ResultCode SetCatalogueAuxPath(const char* path) override;
    ResultCode PrepareResource() override;
    ResultCode SetATLUFactory(zrp::ATLUFactory* factory) override;
    ResultCode SetGlobalFlag(bool value) override;
    void ReleaseResources() override;
    void* CreateOrvexFilter(const char* name, int* kind) override;
    ResultCode ReleaseOrvexFilter(void* object, int kind) override;
    ResultCode GetEffectRenderKinds(const char* name, bool* isCpuFilter, bool* isOpenCL, bool* isOpenGL) override;
    IOrvexEffect* CreateOrvexEffectFromFolder(const char* folder) override;
    ResultCode LoadBuiltinPrograms() override;
    int GetEffectFilterType(const char* name) override;
    ResultCode GetTransitionType(const char* name) override;
    int GetEffectDynamic(const char* name) override;
    ResultCode GetTransitionRenderKinds(const char* name, bool* cpuOrOpenGL, bool* isOpenCL, bool* extraFlag) override;
    ResultCode SetFilterInfoFromJson(const JsonDocument& description, const std::string& path) override;
    ResultCode SetFilterInfoFromXML(const XmlNode* document, const std::string& path) override;
    ResultCode SetDescriptionFromJson(const JsonDocument& description, const std::string& path) override;

    // Loads an effect program for OpenCL; 0 when registered before or handed to the platform now,
    // 1 when the OpenCL device is unusable or no description folder is known.
    int LoadEffectProgram(const char* programFile, const char* kernelKey);
    // The loader bound into every effect.
    ResultCode LoadProgram(const char* programFile, const char* kernelKey, GPUPlatform platform,
                           zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace);

    // The shared resource as the lab holds it now (tests inspect it).
    std::shared_ptr<OrvexResource> Resource();
    static bool GlobalFlag();

private:
    bool CheckOpenCLDevice();
    int SetupOpenCLHelpers(OrvexResource& res);
    bool CheckOpenGLDevice();
    int RegisterProgramFile(const std::string& programFile, const char* kernelKey, GPUPlatform platform,
                            zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace);

    // Frees the effects of this lab the host never released; logs how many, naming `when`.
    void FreeForgottenEffects(const char* when);

    std::shared_ptr<OrvexResource> resource_;
    // The effects this lab created and has not released: a release is honoured only for these, so
    // a pointer released twice, or through another lab, frees nothing.
    std::set<IOrvexEffect*> effects_;
    std::mutex effectsLock_;
};

// Base64 with the RFC 4648 alphabet, also accepting "-" for 62 and "_" for 63; each group of four
// characters gives three bytes, "=" padding ends the data, other characters are skipped.
std::string DecodeBase64(const std::string& text);

}  // namespace orvex
