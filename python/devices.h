#pragma once
// The module's devices and resource tree. The library keeps one GPU factory for the process, so
// the module makes one (OpenCL, a CPU device such as PoCL included, and OpenGL) the first time a
// render asks for a GPU, and every Effect and frame operation of the process shares it.
#include <memory>
#include <mutex>
#include <string>

#include "zrp/zrp.h"

namespace orvexpy {

// The shared factory; null when the machine has neither OpenCL nor OpenGL.
std::shared_ptr<zrp::ATLUFactory> SharedFactory();
// True when the shared factory's OpenCL device is a GPU or an accelerator: what "best" uses.
bool HasGpu();
// GPU work through the shared factory is serialised (a device queue is not shared safely
// between threads); CPU renders run in parallel.
std::mutex& GpuLock();

// The resource tree: set by orvex.set_resources, else found as the orvex command finds it (beside
// the installed module, the configured install prefix, the source tree).
void SetResources(const std::string& path);
std::string Resources();

}  // namespace orvexpy
