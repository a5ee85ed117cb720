#include "opencl_helpers.h"

// Stand-ins for the host's OpenCL helper objects: they hold what they are given. The library
// only constructs and destroys them.
namespace OPENCL {

openclInit::openclInit(void* platform, void* device, uint64_t value, void* context,
                       zrp::DeviceContextOpenCL* deviceContext)
    : platform_(platform), device_(device), value_(value), context_(context), deviceContext_(deviceContext) {}
openclInit::~openclInit() = default;

openclMemManager::openclMemManager(openclInit* init) : init_(init) {}
openclMemManager::~openclMemManager() = default;

openclProgramManager::openclProgramManager(openclInit* init, const char*) : init_(init) {}
openclProgramManager::~openclProgramManager() = default;

}  // namespace OPENCL
