#pragma once
// The host's OpenCL helper library: the lab only constructs and destroys these objects.
#include <cstdint>

#include "zrp/zrp.h"

namespace OPENCL {

class openclInit {
public:
    openclInit(void* platform, void* device, uint64_t value, void* context, zrp::DeviceContextOpenCL* deviceContext);
    virtual ~openclInit();
    void* platform() const { return platform_; }
    void* device() const { return device_; }
    void* context() const { return context_; }

private:
    void* platform_;
    void* device_;
    uint64_t value_;
    void* context_;
    zrp::DeviceContextOpenCL* deviceContext_;
};

class openclMemManager {
public:
    explicit openclMemManager(openclInit* init);
    virtual ~openclMemManager();

private:
    openclInit* init_;
};

class openclProgramManager {
public:
    openclProgramManager(openclInit* init, const char* folder);
    virtual ~openclProgramManager();

private:
    openclInit* init_;
};

}  // namespace OPENCL
