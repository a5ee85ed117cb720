#pragma once
// The GPU platform on OpenCL 1.2 (any ICD; PoCL runs it on the CPU here).
//
// Binding a task (ScheduleTask) walks the kernel's arguments in declaration order:
//  - an argument whose name is a key of the parameter set takes that value; a scalar or vector
//    argument must match the value's size exactly, a pointer argument gets a read-only buffer
//    holding the bytes (type code 12 tables and matrices);
//  - every other image or __global buffer argument takes the next plane of the next texture,
//    inputs first, then outputs;
//  - an argument left unbound fails the task with a log line naming the kernel and argument.
// The grid is the region rounded up to 16 x 16 work-groups, so that each kernel compiles once
// whatever the frame size; kernels guard against items outside their image.
//
// Textures: 8-bit BGRA is one CL_BGRA/CL_UNORM_INT8 image (kernels read R, G, B, A in x, y, z, w);
// 16-bit BGRA is a CL_RGBA/CL_UNORM_INT16 image whose host transfers swap R and B; the YUV
// formats are one buffer per plane with a tight row pitch.
#ifndef CL_TARGET_OPENCL_VERSION
#define CL_TARGET_OPENCL_VERSION 120
#endif
#include <CL/cl.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zrp/zrp.h"

namespace zrp {

// The OpenCL objects a factory works with; shared by its textures, units and tasks.
struct CLDevice {
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    std::string name;
    bool imageSupport = false;
    // Runs the device refused: a key without a built program, a kernel it would not create, an
    // enqueue or an execution that failed. A host watches it to fall back to the CPU and say so.
    std::atomic<int> refusals{0};
    ~CLDevice();
};
using CLDevicePtr = std::shared_ptr<CLDevice>;

// Kernel objects kept for reuse: a unit takes an idle one of its kernel (creating one only when
// none is idle, as for concurrent tasks) and hands it back when it goes, so that a video creates
// each kernel once instead of once per frame.
class CLKernelPool {
public:
    ~CLKernelPool();
    // An idle kernel of `name` in `program`, or a new one; null with the error in *err.
    cl_kernel Take(cl_program program, const std::string& name, cl_int* err);
    void Give(cl_program program, const std::string& name, cl_kernel kernel);
    int created() const { return created_; }

private:
    std::mutex mutex_;
    std::map<std::pair<cl_program, std::string>, std::vector<cl_kernel>> idle_;
    std::atomic<int> created_{0};
};

// One plane of a texture.
struct CLPlane {
    cl_mem mem = nullptr;
    bool isImage = false;
    int32_t width = 0;   // samples per row (pixels for images)
    int32_t height = 0;  // rows
    int32_t bytesPerSample = 1;
    int32_t pitch = 0;   // bytes per row as the host sees it
};

// Plane sizes of an image format: width in samples, height in rows, bytes per sample.
struct PlaneShape {
    int32_t width, height, bytesPerSample;
    bool isImage;
};
std::vector<PlaneShape> PlaneShapes(ImageColorSpace cs, BitFormat bits, int32_t width, int32_t height);
inline bool IsFloat32(BitFormat bits) { return bits == kBitFormatFloat32; }
inline bool IsSixteenBit(BitFormat bits) { return bits.kind >= 4 && !IsFloat32(bits); }

class CLTexture final : public Texture, public TextureContext {
public:
    static std::shared_ptr<CLTexture> Create(const CLDevicePtr& device, ImageColorSpace cs, BitFormat bits,
                                             int32_t width, int32_t height);
    ~CLTexture() override;

    TextureContext* GetContext() override { return this; }
    MappedBuffer* Map(int32_t mode) override;
    ResultCode Unmap(MappedBuffer* buffer) override;
    ResultCode CopyFrom(Texture& source) override;

    int32_t GetKind() const override { return kTextureKindOpenCL; }
    ResultCode GetImageFormat(ImageFormat** format) const override;
    int32_t GetWidth() const override { return width_; }
    int32_t GetHeight() const override { return height_; }
    int32_t GetPlaneCount() const override { return static_cast<int32_t>(planes_.size()); }
    int32_t GetPitch(int32_t plane) const override;

    // Host transfers of whole planes; pitches in bytes.
    ResultCode Upload(int32_t plane, const uint8_t* data, int32_t pitch);
    ResultCode Download(int32_t plane, uint8_t* data, int32_t pitch);

    const std::vector<CLPlane>& planes() const { return planes_; }
    ImageColorSpace colorSpace() const { return cs_; }
    BitFormat bitFormat() const { return bits_; }

private:
    CLTexture(CLDevicePtr device, ImageColorSpace cs, BitFormat bits, int32_t w, int32_t h)
        : device_(std::move(device)), cs_(cs), bits_(bits), width_(w), height_(h) {}
    CLDevicePtr device_;
    ImageColorSpace cs_;
    BitFormat bits_;
    int32_t width_, height_;
    std::vector<CLPlane> planes_;
    std::mutex mapMutex_;
    std::vector<std::unique_ptr<MappedBuffer>> mapped_;
};

class OpenCLFactory final : public ATLUFactory {
public:
    // `hideFp64`: programs are built as on a device without cl_khr_fp64, so that a test run shows
    // the pixels such a device gives.
    explicit OpenCLFactory(CLDevicePtr device, bool hideFp64 = false);
    ~OpenCLFactory() override;

    ResultCode IsAlgorithmRegistered(const char* platform, const char* key) override;
    ResultCode RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                               const PixelFormat* input, const PixelFormat* output,
                               const std::vector<std::string>& kernelNames) override;
    ResultCode RegisterAlgorithm(const char* platform, const char* firstKernel, const char* source, size_t length,
                                 const std::vector<AlgorithmUnit*>& units) override;
    DeviceContext* GetDeviceContext(const char* platform) override;
    ResultCode CreateTexture(TexturePtr* texture, const ImageFormat* format, const char* platform, int32_t kind,
                             uint8_t* const* planes, const int32_t* pitches, int32_t pixelFormat,
                             int32_t reserved) override;
    ResultCode ATLUAcquire(AlgorithmUnitPtr* unit, const ImageFormat* input, const ImageFormat* output,
                           const char* key, const char* platform) override;

    const CLDevicePtr& device() const { return device_; }
    // Set-up counts since the factory was made: programs compiled and kernel objects created.
    int programBuilds() const { return builds_; }
    int kernelsCreated() const { return kernels_->created(); }
    int refusedRuns() const { return device_->refusals; }

private:
    struct Registered {
        cl_program program = nullptr;
        std::string kernel;
    };
    // Builds source; null with the compiler's log written out on failure.
    cl_program Build(const char* key, const char* source, size_t length);

    CLDevicePtr device_;
    std::unique_ptr<DeviceContext> context_;
    std::mutex mutex_;
    std::map<std::string, Registered> algorithms_;  // key -> program and kernel name
    std::vector<cl_program> programs_;
    std::shared_ptr<CLKernelPool> kernels_ = std::make_shared<CLKernelPool>();
    bool hideFp64_ = false;
    std::atomic<int> builds_{0};
};

// The first GPU or accelerator device (the first whose name contains `prefer`); with `allowCpu`,
// else the first CPU device. Null when there is no such OpenCL device.
CLDevicePtr OpenDefaultCLDevice(const std::string& prefer = {}, bool allowCpu = false);

}  // namespace zrp
