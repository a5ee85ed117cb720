#pragma once
// Result codes and GPU platform numbers shared by every interface of the library.
#include <cstdint>

namespace orvex {

enum _ResultCode : int32_t {
    Ok = 0,
    Failed = 1,
    NotFound = 2,
    InvalidArgument = 3,
    WrongFormat = 4,
    PathUnavailable = 5,
    FormatNotHandled = 6,
    UnsupportedFrame = 7,
};
using ResultCode = _ResultCode;

// Numbers of the GPU interfaces; in an effect's set of supported paths 1 stands for the CPU body.
enum _GPUPlatform : int32_t {
    None = 0,
    DirectX = 1,
    OpenCL = 2,
    OpenGL = 3,
};
using GPUPlatform = _GPUPlatform;

// Name handed to the platform library for a GPU platform; null for None or an unknown number.
inline const char* GPUPlatformName(GPUPlatform p) {
    switch (p) {
    case DirectX: return "directx";
    case OpenCL: return "opencl";
    case OpenGL: return "opengl";
    default: return nullptr;
    }
}

}  // namespace orvex
