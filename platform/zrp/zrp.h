#pragma once
// The host's GPU platform library as this library calls it. host/zrp is our implementation
// (OpenCL and EGL backends); a host may hand over any factory that keeps these results.
//
// Objects made by the ZRP*Alloc functions belong to the caller and are freed with ZRPObjectFree.
// Textures, algorithm units and tasks are reference counted through std::shared_ptr.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zrp {

using ResultCode = int32_t;  // 0 = success, anything else = failure

// Image colour spaces (layouts) of GPU images; 0 means "no image".
enum ImageColorSpace : int32_t {
    kColorSpaceNone = 0,
    kColorSpaceYV12 = 2,
    kColorSpaceYUVA = 3,
    kColorSpaceNV12 = 4,
    kColorSpaceBGRA = 5,
    kColorSpaceYUV422 = 8,
    kColorSpaceYUVA422 = 9,
};

// Sample format of an image: {2, 8, 8} for 8-bit images; the 16-bit formats start with 4 and
// carry the number of significant bits (10 or 16).
struct BitFormat {
    int32_t kind = 2;
    int32_t bits1 = 8;
    int32_t bits2 = 8;
};
inline bool operator==(const BitFormat& a, const BitFormat& b) {
    return a.kind == b.kind && a.bits1 == b.bits1 && a.bits2 == b.bits2;
}
constexpr BitFormat kBitFormat8{2, 8, 8};
// Four 32-bit float channels (data textures such as point lists or a colour cube) of colour space
// BGRA: an RGBA32F texture on OpenGL, a buffer of float4 texels on OpenCL.
constexpr BitFormat kBitFormatFloat32{6, 32, 32};

// Type codes of kernel arguments in a parameter set.
enum ParamType : int32_t {
    kParamByte = 2,
    kParamInt32 = 5,
    kParamFloat = 9,
    kParam64 = 10,
    kParamBlock = 12,
    kParamBool = 13,
    kParamFloat2 = 14,
};

// Texture-context kind codes: 1..5 DirectX, 6 OpenCL, 7 and 8 OpenGL.
enum TextureKind : int32_t {
    kTextureKindOpenCL = 6,
    kTextureKindOpenGL = 7,
    kTextureKindOpenGLAlt = 8,
};

// Device-context type codes.
enum DeviceType : int32_t {
    kDeviceOpenCL = 6,
    kDeviceOpenGL = 7,
};

class Object {
public:
    virtual ~Object() = default;
};

// Named, typed kernel arguments.
class Params : public Object {
public:
    virtual ResultCode SetParamValue(const char* name, int32_t typeCode, const void* data, size_t byteSize) = 0;
};

class ImageFormat : public Object {
public:
    virtual ImageColorSpace GetColorSpace() const = 0;
    virtual BitFormat GetBitFormat() const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
};

class PixelFormat : public Object {
public:
    virtual ImageColorSpace GetColorSpace() const = 0;
    virtual BitFormat GetBitFormat() const = 0;
};

class PlaneFormat : public Object {
public:
    virtual BitFormat GetBitFormat() const = 0;
    virtual void GetValues(uint32_t out[4]) const = 0;
};

// One kernel of a registered algorithm with its input and output formats.
class AlgorithmUnit;

// Host view of a mapped texture: one entry per plane.
struct MappedPlane {
    uint8_t* data = nullptr;
    int32_t pitch = 0;
    int32_t width = 0;   // samples per row
    int32_t height = 0;  // rows
};

class MappedBuffer : public Object {
public:
    virtual int32_t GetPlaneCount() const = 0;
    virtual MappedPlane GetPlane(int32_t index) const = 0;
    // Plane layout code; 2 means rows are padded beyond width x bytes per pixel.
    virtual int32_t GetLayout() const = 0;
};

class TextureContext {
public:
    virtual ~TextureContext() = default;
    virtual int32_t GetKind() const = 0;
    // The caller owns *format and frees it with ZRPObjectFree.
    virtual ResultCode GetImageFormat(ImageFormat** format) const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual int32_t GetPlaneCount() const = 0;
    virtual int32_t GetPitch(int32_t plane) const = 0;
};

class Texture {
public:
    virtual ~Texture() = default;
    virtual TextureContext* GetContext() = 0;
    // Maps the texture for reading (mode 0) or writing (mode 1); null when it cannot be mapped.
    // Unmap writes a buffer mapped for writing back into the texture.
    virtual MappedBuffer* Map(int32_t mode) = 0;
    virtual ResultCode Unmap(MappedBuffer* buffer) = 0;
    // Copies the pixels of another texture of the same image format into this one.
    virtual ResultCode CopyFrom(Texture& source) = 0;
};
using TexturePtr = std::shared_ptr<Texture>;

class Task {
public:
    virtual ~Task() = default;
    // timeout in milliseconds, -1 = no limit; 0 = success.
    virtual ResultCode WaitForCompletion(int64_t timeout) = 0;
};

// Region of a task: always starts at 0, 0.
struct Region {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class AlgorithmUnit : public Object {
public:
    virtual Task* ScheduleTask(const std::vector<TexturePtr>& inputs, const std::vector<TexturePtr>& outputs,
                               Params* params, const Region& region, ResultCode* status) = 0;
    // Releases the task; 0 = success.
    virtual ResultCode FinalizeTask(Task* task) = 0;
};
using AlgorithmUnitPtr = std::shared_ptr<AlgorithmUnit>;

class DeviceContext {
public:
    virtual ~DeviceContext() = default;
    virtual int32_t GetType() const = 0;
};

// OpenCL objects are kept as opaque pointers so that callers need no OpenCL headers.
class DeviceContextOpenCL : public DeviceContext {
public:
    virtual void* GetPlatform() const = 0;  // cl_platform_id
    virtual void* GetDevice() const = 0;    // cl_device_id
    virtual uint64_t GetValue() const = 0;
    virtual void* GetContext() const = 0;   // cl_context
};

class ATLUFactory {
public:
    virtual ~ATLUFactory() = default;
    // 0 when an algorithm is registered under key for the platform.
    virtual ResultCode IsAlgorithmRegistered(const char* platform, const char* key) = 0;
    virtual ResultCode RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                                       const PixelFormat* input, const PixelFormat* output,
                                       const std::vector<std::string>& kernelNames) = 0;
    virtual ResultCode RegisterAlgorithm(const char* platform, const char* firstKernel, const char* source,
                                         size_t length, const std::vector<AlgorithmUnit*>& units) = 0;
    // Null when the platform has no device.
    virtual DeviceContext* GetDeviceContext(const char* platform) = 0;
    // kind 5/6/7 for directx/opencl/opengl. planes/pitches/pixelFormat wrap host memory when given
    // (null planes: a fresh texture).
    virtual ResultCode CreateTexture(TexturePtr* texture, const ImageFormat* format, const char* platform,
                                     int32_t kind, uint8_t* const* planes, const int32_t* pitches,
                                     int32_t pixelFormat, int32_t reserved) = 0;
    virtual ResultCode ATLUAcquire(AlgorithmUnitPtr* unit, const ImageFormat* input, const ImageFormat* output,
                                   const char* key, const char* platform) = 0;
};

}  // namespace zrp

// Free functions of the platform library (0 = success).
zrp::ResultCode ZRPAllocParams(zrp::Params** params);
zrp::ResultCode ZRPImageFormatAlloc(zrp::ImageColorSpace colorSpace, zrp::BitFormat bits, int width, int height,
                                    int reserved, zrp::ImageFormat** format);
zrp::ResultCode ZRPPixelFormatAlloc(zrp::ImageColorSpace colorSpace, zrp::BitFormat bits, zrp::PixelFormat** format);
zrp::ResultCode ZRPPlaneFormatAlloc(zrp::BitFormat bits, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                                    zrp::PlaneFormat** format);
zrp::AlgorithmUnit* ZRPAlgorithmUnitAlloc(zrp::ImageColorSpace inColorSpace, zrp::BitFormat inBits,
                                          zrp::ImageColorSpace outColorSpace, zrp::BitFormat outBits,
                                          const char* kernelName);
zrp::ResultCode ZRPObjectFree(zrp::Object* object);
