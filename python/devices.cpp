#include "devices.h"

#include <dlfcn.h>

#include <filesystem>

#include "cli_common.h"
#include "host/kit/kit.h"

namespace orvexpy {

namespace {

std::mutex g_devicesLock;
// Kept to the end of the process, never destroyed: the library holds its raw pointer, and GPU
// drivers do not take kindly to being torn down from static destructors.
std::shared_ptr<zrp::ATLUFactory>& g_factory = *new std::shared_ptr<zrp::ATLUFactory>();
bool g_probed = false, g_hasGpu = false;
std::string g_resources;

void Probe() {
    if (g_probed) return;
    g_probed = true;
    // A GPU or accelerator alone decides "best"; the shared factory takes a CPU device too.
    orvexhost::KitOptions gpuOnly;
    gpuOnly.opengl = false;
    if (std::unique_ptr<zrp::ATLUFactory> gpu = orvexhost::MakeFactory(gpuOnly))
        g_hasGpu = gpu->GetDeviceContext("opencl") != nullptr;
    orvexhost::KitOptions options;
    options.openclOnCpu = true;
    g_factory = orvexhost::MakeFactory(options);
}

// prefix/lib/pythonX/dist-packages/orvex.so -> prefix/share/orvex/resources
std::string BesideModule() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&BesideModule), &info) || !info.dli_fname) return {};
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(info.dli_fname, ec).parent_path();
    for (int up = 0; up < 4 && !dir.empty(); ++up, dir = dir.parent_path())
        if (std::filesystem::is_directory(dir / "share/orvex/resources/video/effect", ec))
            return (dir / "share/orvex/resources").string();
    return {};
}

}  // namespace

std::shared_ptr<zrp::ATLUFactory> SharedFactory() {
    std::lock_guard<std::mutex> lock(g_devicesLock);
    Probe();
    return g_factory;
}

bool HasGpu() {
    std::lock_guard<std::mutex> lock(g_devicesLock);
    Probe();
    return g_hasGpu;
}

std::mutex& GpuLock() {
    static std::mutex lock;
    return lock;
}

void SetResources(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_devicesLock);
    g_resources = path;
}

std::string Resources() {
    std::lock_guard<std::mutex> lock(g_devicesLock);
    if (!g_resources.empty()) return g_resources;
    const std::string beside = BesideModule();
    return beside.empty() ? orvexcli::FindResources("") : beside;
}

}  // namespace orvexpy
