#include "lab/Orvex.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>

#include <CL/cl.h>

#include "catalogue/DescriptionFiles.h"
#include "catalogue/FilterManager.h"
#include "corelog.h"
#include "effects/EffectSurface.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"
#include "opencl_helpers.h"
#include "visual/GuardedVisualProcess.h"

namespace orvex {
namespace {

// The resource in use; every lab shares it while one lives.
std::weak_ptr<OrvexResource> CurrentResource;
// Guards CurrentResource and each lab's reference to it: effects may be created through one lab
// on several threads at once, and each creation takes the resource afresh.
std::mutex ResourceLock;
// Serialises all loading of effect programs so each kernel key registers once.
std::mutex ProgramLoadLock;
bool g_globalFlag = true;

constexpr const char* kResourceTag = "orvex::OrvexResource::OrvexResource";

CNLECGFilterManager* Catalogue(OrvexResource& res) {
    if (!res.catalogue) res.catalogue = CNLECGFilterManager::GetInstance();
    return res.catalogue;
}

// The description record behind a catalogue name, or null.
std::shared_ptr<NLEFilterInfo> FindInfo(OrvexResource& res, const char* name) {
    CNLECGFilterManager* catalogue = Catalogue(res);
    CNLECGFilterConstructor* ctor = nullptr;
    if (!catalogue || !name || !catalogue->FindConstructor(name, &ctor) || !ctor) return nullptr;
    return ctor->Info();
}

}  // namespace

// --- OrvexResource ---------------------------------------------------------------------------------

OrvexResource::OrvexResource() {
    visualProcess = new (std::nothrow) GuardedVisualProcess();
    catalogue = CNLECGFilterManager::GetInstance();
    if (!catalogue) ORVEX_LOG(6, kResourceTag, "Create Tessary cg manager failed.");
    if (ImageInitEx(&imageProcHandle) != 1) {
        imageProcHandle = 0;
        ORVEX_LOG(6, kResourceTag, "ImageInitEx is failed.");
    }
}

OrvexResource::~OrvexResource() {
    delete catalogue;
    delete openclProgramManager;
    delete openclMemManager;
    delete openclInit;
    delete visualProcess;
}

// --- Orvex ------------------------------------------------------------------------------------------

Orvex::Orvex() { Resource(); }

Orvex::~Orvex() { FreeForgottenEffects("ReleaseOrvex"); }

void Orvex::FreeForgottenEffects(const char* when) {
    std::set<IOrvexEffect*> forgotten;
    {
        std::lock_guard<std::mutex> lock(effectsLock_);
        forgotten.swap(effects_);
    }
    if (forgotten.empty()) return;
    for (IOrvexEffect* effect : forgotten) delete effect;
    ORVEX_LOG(4, "orvex::Orvex::FreeForgottenEffects", "%s: freed %zu effects the host did not release", when,
              forgotten.size());
}

std::shared_ptr<OrvexResource> Orvex::Resource() {
    std::lock_guard<std::mutex> lock(ResourceLock);
    resource_ = CurrentResource.lock();
    if (!resource_) {
        resource_ = std::make_shared<OrvexResource>();
        CurrentResource = resource_;
    }
    return resource_;
}

bool Orvex::GlobalFlag() { return g_globalFlag; }

IOrvexEffect* Orvex::CreateOrvexEffect(const char* name) {
    // Names must share at least one character with "video/effect"; this keeps bare GUIDs out.
    if (!name || !std::strpbrk(name, "video/effct")) {
        ORVEX_LOG(6, "orvex::Orvex::CreateOrvexEffect", "CreateOrvexEffect:%s is failed", name ? name : "(null)");
        return nullptr;
    }
    std::shared_ptr<OrvexResource> res = Resource();
    EffectSurface* effect = nullptr;
    try {
        EffectDescription description;
        CNLECGFilterManager* catalogue = Catalogue(*res);
        std::string folder = catalogue ? catalogue->GetDescriptionFolder(name) : std::string();
        if (!folder.empty()) description.Load(folder, name);

        if (const BuiltinEffect* builtin = FindBuiltinEffect(name)) {
            if (builtin->create) {
                effect = builtin->create();
                if (effect && builtin->kernelKey && !IsProgramRegistered(OpenCL, builtin->kernelKey))
                    LoadEffectProgram(builtin->programFile, builtin->kernelKey);
            }
        } else if (EffectFactory f = FindSelfEffect(name)) {
            effect = f();
        } else {
            std::string type = description.GetEffectType();
            if (EffectFactory byType = type.empty() ? nullptr : FindSelfEffect(type)) effect = byType();
        }

        if (effect) {
            effect->SetName(name);
            effect->SetDescription(std::move(description));
            effect->SetVisualProcess(res->visualProcess);
            effect->SetAlgorithmUnitFactory(g_atlu_factory);
            effect->SetGPUAvailability(res->openclDeviceOk, res->openglDeviceOk);
            effect->SetProgramLoader([this](const char* file, const char* key, GPUPlatform platform,
                                            zrp::ImageColorSpace in, zrp::ImageColorSpace out) {
                return LoadProgram(file, key, platform, in, out);
            });
        }
    } catch (...) {
        delete effect;
        effect = nullptr;
    }
    if (!effect) {
        ORVEX_LOG(6, "orvex::Orvex::CreateOrvexEffect", "CreateOrvexEffect:%s is failed", name);
        return nullptr;
    }
    try {
        std::lock_guard<std::mutex> lock(effectsLock_);
        effects_.insert(effect);
    } catch (...) {
        // An effect the lab cannot track could not be released safely later: refuse it now.
        delete effect;
        ORVEX_LOG(6, "orvex::Orvex::CreateOrvexEffect", "CreateOrvexEffect:%s is failed", name);
        return nullptr;
    }
    return effect;
}

ResultCode Orvex::ReleaseOrvexEffect(IOrvexEffect* effect) {
    if (!effect) return Failed;
    {
        std::lock_guard<std::mutex> lock(effectsLock_);
        if (effects_.erase(effect) == 0) {
            ORVEX_LOG(6, "orvex::Orvex::ReleaseOrvexEffect",
                      "effect %p was not created by this lab or is already released", static_cast<void*>(effect));
            return InvalidArgument;
        }
    }
    delete effect;
    return Ok;
}

ResultCode Orvex::ReleaseOrvexObject(IOrvexEffect* effect) { return ReleaseOrvexEffect(effect); }

ResultCode Orvex::SetResourcePath(const char* path, int resourceType) {
    std::shared_ptr<OrvexResource> res = Resource();
    const char* shown = path ? path : "(null)";
    ORVEX_LOG(4, "orvex", "Start SetResourcePath: %s ResourceType: %d", shown, resourceType);
    CNLECGFilterManager* catalogue = Catalogue(*res);
    if (!catalogue) {
        ORVEX_LOG(6, "orvex::Orvex::SetResourcePath", "can't get filter manager");
        return Failed;
    }
    ResultCode result = Failed;
    if (resourceType == 0) {
        if (res->rootRecorded) {
            result = Ok;
        } else {
            catalogue = Catalogue(*res);
            if (!catalogue) {
                ORVEX_LOG(6, "orvex::OrvexResource::InitTessaryCGManager", "Create Tessary cg manager failed.");
            } else {
                catalogue->SetAuxPath(res->auxPath);
                result = catalogue->SetRootPath(path);
                catalogue->openclReady = res->openclReady;
                res->resourcePath = path ? path : "";
                res->rootRecorded = true;
            }
        }
    } else if (resourceType == 1 || resourceType == 2) {
        result = path ? static_cast<ResultCode>(catalogue->ScanFolder(path, resourceType == 1)) : PathUnavailable;
    }
    if (result == Failed)
        ORVEX_LOG(4, "orvex::Orvex::SetResourcePath", "input path: %s didn't find any effect description file.",
                  shown);
    ORVEX_LOG(4, "orvex", "SetResourcePath End");
    return result;
}

ResultCode Orvex::SetCatalogueAuxPath(const char* path) {
    Resource()->auxPath = path ? path : "";
    return Ok;
}

ResultCode Orvex::PrepareResource() {
    Resource();
    return Ok;
}

ResultCode Orvex::SetGlobalFlag(bool value) {
    g_globalFlag = value;
    return Ok;
}

void Orvex::ReleaseResources() {
    std::shared_ptr<OrvexResource> res = Resource();
    FreeForgottenEffects("ReleaseResources");
    delete res->catalogue;
    res->catalogue = nullptr;
    if (res->imageProcHandle != 0) {
        ImageRelease(res->imageProcHandle);
        res->imageProcHandle = 0;
    }
}

void* Orvex::CreateOrvexFilter(const char* name, int* kind) {
    if (kind) *kind = 0;
    std::shared_ptr<OrvexResource> res = Resource();
    FindInfo(*res, name);
    return nullptr;
}

ResultCode Orvex::ReleaseOrvexFilter(void* object, int kind) {
    if (!object) return Failed;
    if (kind == 1) delete static_cast<IOrvexFilter*>(object);
    return Ok;
}

ResultCode Orvex::GetEffectRenderKinds(const char* name, bool* isCpuFilter, bool* isOpenCL, bool* isOpenGL) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (isCpuFilter) *isCpuFilter = false;
    if (isOpenCL) *isOpenCL = false;
    if (isOpenGL) *isOpenGL = false;
    std::shared_ptr<NLEFilterInfo> info = FindInfo(*res, name);
    if (!info) return NotFound;
    if (isOpenCL) *isOpenCL = info->isOpenCLTableFilter || info->hasOpenCL;
    if (isOpenGL) *isOpenGL = info->hasOpenGL != 0;
    if (isCpuFilter) *isCpuFilter = info->isCpuTableFilter || info->fifthKindFlag;
    return Ok;
}

ResultCode Orvex::GetTransitionRenderKinds(const char* name, bool* cpuOrOpenGL, bool* isOpenCL, bool* extraFlag) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (cpuOrOpenGL) *cpuOrOpenGL = false;
    if (isOpenCL) *isOpenCL = false;
    if (extraFlag) *extraFlag = false;
    std::shared_ptr<NLEFilterInfo> info = FindInfo(*res, name);
    if (!info) return NotFound;
    if (isOpenCL) *isOpenCL = info->hasOpenCL != 0;
    if (cpuOrOpenGL) *cpuOrOpenGL = info->hasOpenGL || info->isCpuTableFilter;
    return Ok;
}

IOrvexEffect* Orvex::CreateOrvexEffectFromFolder(const char* folder) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (!folder) {
        ORVEX_LOG(6, "orvex::Orvex::CreateOrvexEffect", "CreateOrvexEffect:%s is failed", "(null)");
        return nullptr;
    }
    {
        // Held across the scan, so that a folder asked for on two threads is scanned once.
        std::lock_guard<std::mutex> lock(res->scanCacheLock);
        if (res->folderScanCache.find(folder) == res->folderScanCache.end()) {
            CNLECGFilterManager* catalogue = Catalogue(*res);
            int scan = catalogue ? catalogue->ScanFolder(folder, false) : Failed;
            res->folderScanCache[folder] = std::to_string(scan);
        }
    }
    // The scan's result code names no effect: create the effect the folder's own description
    // registers under its "unique_name".
    EffectDescription description;
    std::string uniqueName;
    if (description.Load(folder, "") == 0 && description.document.is_object()) {
        auto it = description.document.find("unique_name");
        if (it != description.document.end() && it->is_string()) uniqueName = it->get<std::string>();
    }
    if (uniqueName.empty()) {
        ORVEX_LOG(6, "orvex::Orvex::CreateOrvexEffect", "CreateOrvexEffect:%s is failed", folder);
        return nullptr;
    }
    return CreateOrvexEffect(uniqueName.c_str());
}

int Orvex::GetEffectFilterType(const char* name) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (!name || std::strstr(name, "video/effect/")) return 0;
    std::shared_ptr<NLEFilterInfo> info = FindInfo(*res, name);
    if (!info) {
        ORVEX_LOG(6, "Orvex::GetEffectFilterType", "input effect name: %s is not register", name);
        return 0;
    }
    CNLECGFilterManager* catalogue = Catalogue(*res);
    if (info->isOpenCLTableFilter && res->openclReady) return 3;
    if (info->hasOpenCL && res->openclReady) return 2;
    if (info->hasOpenGL && catalogue && catalogue->openglReady) return 4;
    if (info->isCpuTableFilter) return 1;
    if (info->fifthKindFlag) return 5;
    return 0;
}

ResultCode Orvex::GetTransitionType(const char* name) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (!FindInfo(*res, name))
        ORVEX_LOG(6, "Orvex::GetTransitionType", "input transition name: %s is not register", name ? name : "(null)");
    return Ok;
}

int Orvex::GetEffectDynamic(const char* name) {
    if (!name || std::strstr(name, "video/effect/")) return 0;
    std::shared_ptr<OrvexResource> res = Resource();
    std::shared_ptr<NLEFilterInfo> info = FindInfo(*res, name);
    return info ? info->dynamic : 0;
}

ResultCode Orvex::SetFilterInfoFromJson(const JsonDocument& description, const std::string& path) {
    std::shared_ptr<OrvexResource> res = Resource();
    CNLECGFilterManager* catalogue = Catalogue(*res);
    std::shared_ptr<NLEFilterInfo> info = catalogue ? catalogue->BuildFilterInfoFromJson(description, path) : nullptr;
    if (info) {
        catalogue->AddFilterToConstructor(info, path);
        return Ok;
    }
    ORVEX_LOG(4, "orvex::Orvex::SetFilterInfoFromJson", "json path: %s create cg filter info failed", path.c_str());
    return Failed;
}

ResultCode Orvex::SetFilterInfoFromXML(const XmlNode* document, const std::string& path) {
    std::shared_ptr<OrvexResource> res = Resource();
    CNLECGFilterManager* catalogue = Catalogue(*res);
    if (!catalogue || catalogue->GetFilterInfoFromXML(document, path) != 0) {
        ORVEX_LOG(4, "orvex::Orvex::SetFilterInfoFromXML", "xml path: %s create filter info failed", path.c_str());
        return Failed;
    }
    return Ok;
}

ResultCode Orvex::SetDescriptionFromJson(const JsonDocument& description, const std::string& path) {
    std::shared_ptr<OrvexResource> res = Resource();
    CNLECGFilterManager* catalogue = Catalogue(*res);
    if (!catalogue || catalogue->SetDescriptionFromJson(description, path) != 0) {
        ORVEX_LOG(4, "orvex::Orvex::SetDescriptionFromJson", "json path: %s create cg filter info failed",
                  path.c_str());
        return Failed;
    }
    return Ok;
}

// --- GPU device set-up and program loading ------------------------------------------------------------

ResultCode Orvex::SetATLUFactory(zrp::ATLUFactory* factory) {
    std::shared_ptr<OrvexResource> res = Resource();
    ORVEX_LOG(4, "orvex", "SetATLUFactory Start");
    if (!factory) return Failed;
    g_atlu_factory = factory;
    if (CheckOpenCLDevice()) {
        res->openclDeviceOk = true;
        SetupOpenCLHelpers(*res);
    }
    if (CheckOpenGLDevice()) {
        res->openglDeviceOk = true;
        if (res->visualProcess) res->visualProcess->LoadOpenGLTable();
    }
    // Shader effects are reported (render kind 4) once an OpenGL device is known to work.
    if (CNLECGFilterManager* catalogue = Catalogue(*res)) catalogue->openglReady = res->openglDeviceOk;
    ORVEX_LOG(4, "orvex", "SetATLUFactory End");
    return Ok;
}

// Builds the OpenCL helper objects once per resource from the factory's OpenCL device.
int Orvex::SetupOpenCLHelpers(OrvexResource& res) {
    if (res.openclReady) return 0;
    if (!g_atlu_factory || !res.openclDeviceOk) return 1;
    zrp::DeviceContext* ctx = g_atlu_factory->GetDeviceContext("opencl");
    if (!ctx) return 1;
    void* platform = nullptr;
    cl_device_id device = nullptr;
    uint64_t value = 0;
    cl_context context = nullptr;
    zrp::DeviceContextOpenCL* clCtx = nullptr;
    if (ctx->GetType() == zrp::kDeviceOpenCL && (clCtx = dynamic_cast<zrp::DeviceContextOpenCL*>(ctx))) {
        platform = clCtx->GetPlatform();
        device = static_cast<cl_device_id>(clCtx->GetDevice());
        value = clCtx->GetValue();
        context = static_cast<cl_context>(clCtx->GetContext());
    }
    // Devices are reference counted from OpenCL 1.2 on; hold the device and context while the
    // helpers take them.
    bool retainedDevice = false;
    if (device) {
        cl_platform_id devicePlatform = nullptr;
        if (clGetDeviceInfo(device, CL_DEVICE_PLATFORM, sizeof devicePlatform, &devicePlatform, nullptr) ==
            CL_SUCCESS) {
            char version[128] = {0};
            clGetPlatformInfo(devicePlatform, CL_PLATFORM_VERSION, sizeof version - 1, version, nullptr);
            int major = 0, minor = 0;
            if (std::sscanf(version, "OpenCL %d.%d", &major, &minor) == 2 && (major > 1 || (major == 1 && minor > 1)))
                retainedDevice = clRetainDevice(device) == CL_SUCCESS;
        }
    }
    if (context) clRetainContext(context);
    try {
        res.openclInit = new OPENCL::openclInit(platform, device, value, context, clCtx);
        res.openclMemManager = new OPENCL::openclMemManager(res.openclInit);
        res.openclProgramManager = new OPENCL::openclProgramManager(res.openclInit, nullptr);
        res.openclReady = true;
    } catch (...) {
        delete res.openclMemManager;
        delete res.openclInit;
        res.openclInit = nullptr;
        res.openclMemManager = nullptr;
    }
    if (context) clReleaseContext(context);
    if (retainedDevice) clReleaseDevice(device);
    return res.openclReady ? 0 : 1;
}

bool Orvex::CheckOpenCLDevice() {
    bool ok = g_atlu_factory && g_atlu_factory->GetDeviceContext("opencl") != nullptr;
    ORVEX_LOG(4, "orvex::CheckOpenCLDevice", ok ? "zrp OpenCL Device is ok" : "zrp OpenCL Device is nullptr");
    return ok;
}

bool Orvex::CheckOpenGLDevice() {
    bool ok = g_atlu_factory && g_atlu_factory->GetDeviceContext("opengl") != nullptr;
    ORVEX_LOG(4, "orvex::CheckOpenGLDevice", ok ? "zrp OpenGL device is ok" : "zrp OpenGL device is nullptr");
    return ok;
}

ResultCode Orvex::LoadBuiltinPrograms() {
    std::shared_ptr<OrvexResource> res = Resource();
    if (!res->openclDeviceOk) return Failed;
    if (g_atlu_factory && res->visualProcess) res->visualProcess->LoadOpenCLTable();
    LoadEffectProgram("vertical_filp/vertical_filp.cl", "video_effect_vertical_filp");
    LoadEffectProgram("horizontal_filp/horizontal_filp.cl", "video_effect_horizontal_filp");
    return Ok;
}

int Orvex::LoadEffectProgram(const char* programFile, const char* kernelKey) {
    std::shared_ptr<OrvexResource> res = Resource();
    if (!res->openclDeviceOk) return 1;
    return RegisterProgramFile(programFile ? programFile : "", kernelKey, OpenCL, zrp::kColorSpaceBGRA,
                               zrp::kColorSpaceBGRA);
}

ResultCode Orvex::LoadProgram(const char* programFile, const char* kernelKey, GPUPlatform platform,
                              zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace) {
    return static_cast<ResultCode>(
        RegisterProgramFile(programFile ? programFile : "", kernelKey, platform, inColorSpace, outColorSpace));
}

int Orvex::RegisterProgramFile(const std::string& programFile, const char* kernelKey, GPUPlatform platform,
                               zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace) {
    if (!kernelKey) return 1;
    std::lock_guard<std::mutex> lock(ProgramLoadLock);
    if (IsProgramRegistered(platform, kernelKey)) return 0;

    const size_t cut = programFile.find_last_of("/\\");
    const std::string shortName = cut == std::string::npos ? std::string() : programFile.substr(0, cut);
    const std::string fileName = cut == std::string::npos ? programFile : programFile.substr(cut + 1);

    std::shared_ptr<OrvexResource> res = Resource();
    CNLECGFilterManager* catalogue = Catalogue(*res);
    std::string folder = catalogue ? catalogue->GetDescriptionFolder("video/effect/" + shortName) : std::string();
    if (folder.empty()) return 1;
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    if (!descfile::ResolvesInside(folder, fileName, catalogue->RootPath())) {
        ORVEX_LOG(6, "orvex::Orvex::RegisterProgramFile", "description %s: file %s resolves outside its folder",
                  ("video/effect/" + shortName).c_str(), fileName.c_str());
        return PathUnavailable;
    }

    std::string text;
    {
        std::ifstream file(folder + fileName, std::ios::binary);
        if (file) {
            std::ostringstream ss;
            ss << file.rdbuf();
            text = ss.str();
        }
    }
    try {
        std::string descText;
        if (descfile::ReadRegularFile(folder + "description.json", descText)) {
            const JsonDocument doc = descfile::ParseJsonOrNull(descText);
            if (doc.is_object()) {
                auto it = doc.find("ENCRYPT");
                if (it != doc.end() && it->is_string() && std::strtol(it->get<std::string>().c_str(), nullptr, 10) != 0)
                    text = DecodeBase64(text);
            }
        }
    } catch (...) {
        // An unreadable description leaves the program text as read.
    }
    RegisterProgramSource(text, kernelKey, platform, inColorSpace, outColorSpace, 8, 8, 8, 8);
    return 0;
}

std::string DecodeBase64(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char ch : text) {
        int v;
        if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
        else if (ch == '+' || ch == '-') v = 62;
        else if (ch == '/' || ch == '_') v = 63;
        else if (ch == '=') break;
        else continue;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
    return out;
}

}  // namespace orvex
