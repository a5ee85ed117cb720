#include "host/zrp/cl_backend.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "corelog.h"
#include "host/zrp/objects.h"

#define ZRP_LOG(level, ...) CoreLogPrintLog("ZRP", (level), "zrp:opencl", 0, 0, -1, __VA_ARGS__)

namespace zrp {
namespace {

constexpr size_t kLocalSize = 16;

std::string DeviceString(cl_device_id d, cl_device_info what) {
    size_t n = 0;
    if (clGetDeviceInfo(d, what, 0, nullptr, &n) != CL_SUCCESS || n == 0) return {};
    std::string s(n, '\0');
    clGetDeviceInfo(d, what, n, s.data(), nullptr);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

class CLDeviceContext final : public DeviceContextOpenCL {
public:
    explicit CLDeviceContext(CLDevicePtr d) : d_(std::move(d)) {}
    int32_t GetType() const override { return kDeviceOpenCL; }
    void* GetPlatform() const override { return d_->platform; }
    void* GetDevice() const override { return d_->device; }
    uint64_t GetValue() const override { return 0; }
    void* GetContext() const override { return d_->context; }

private:
    CLDevicePtr d_;
};

// Host copy of a texture's planes while it is mapped.
class CLMapped final : public MappedBuffer {
public:
    int32_t GetPlaneCount() const override { return static_cast<int32_t>(planes.size()); }
    MappedPlane GetPlane(int32_t i) const override {
        return i >= 0 && i < GetPlaneCount() ? planes[i] : MappedPlane{};
    }
    int32_t GetLayout() const override { return 1; }  // rows are tight

    int32_t mode = 0;
    std::vector<std::vector<uint8_t>> storage;
    std::vector<MappedPlane> planes;
};

// 16-bit BGRA lives as RGBA on the device (no CL_BGRA for 16-bit types on every driver).
void SwapRedBlue16(uint8_t* row, int32_t pixels) {
    auto* p = reinterpret_cast<uint16_t*>(row);
    for (int32_t x = 0; x < pixels; ++x) std::swap(p[4 * x], p[4 * x + 2]);
}

class CLTask final : public Task {
public:
    cl_event event = nullptr;
    std::vector<cl_mem> temporaries;
    CLDevicePtr device;
    ~CLTask() override {
        if (event) clReleaseEvent(event);
        for (cl_mem m : temporaries) clReleaseMemObject(m);
    }
    ResultCode WaitForCompletion(int64_t) override {
        if (!event) return 1;
        cl_int status = 0;
        if (clWaitForEvents(1, &event) == CL_SUCCESS)
            clGetEventInfo(event, CL_EVENT_COMMAND_EXECUTION_STATUS, sizeof status, &status, nullptr);
        if (status == CL_COMPLETE) return 0;
        if (device) ++device->refusals;
        return 1;
    }
};

// Byte size of a scalar or vector OpenCL type name; 0 for anything else (structs).
size_t TypeSize(std::string type) {
    if (!type.empty() && type.back() == '\0') type.pop_back();
    if (type.rfind("unsigned ", 0) == 0) type = "u" + type.substr(9);
    size_t lanes = 1;
    size_t digits = type.find_first_of("0123456789");
    std::string base = type;
    if (digits != std::string::npos) {
        base = type.substr(0, digits);
        lanes = std::strtoul(type.c_str() + digits, nullptr, 10);
        if (lanes == 3) lanes = 4;
    }
    size_t s = 0;
    if (base == "char" || base == "uchar" || base == "bool") s = 1;
    else if (base == "short" || base == "ushort" || base == "half") s = 2;
    else if (base == "int" || base == "uint" || base == "float") s = 4;
    else if (base == "long" || base == "ulong" || base == "double" || base == "size_t") s = 8;
    return s * lanes;
}

class CLAlgorithmUnit final : public AlgorithmUnit {
public:
    CLAlgorithmUnit(CLDevicePtr device, std::shared_ptr<CLKernelPool> pool, cl_program program, cl_kernel kernel,
                    std::string name)
        : device_(std::move(device)), pool_(std::move(pool)), program_(program), kernel_(kernel),
          name_(std::move(name)) {}
    ~CLAlgorithmUnit() override { pool_->Give(program_, name_, kernel_); }

    Task* ScheduleTask(const std::vector<TexturePtr>& inputs, const std::vector<TexturePtr>& outputs, Params* params,
                       const Region& region, ResultCode* status) override;
    ResultCode FinalizeTask(Task* task) override {
        delete task;
        return 0;
    }

private:
    bool Fail(ResultCode* status, const char* arg, const char* why) {
        ZRP_LOG(4, "kernel %s: argument %s %s", name_.c_str(), arg, why);
        if (status) *status = 1;
        return false;
    }

    CLDevicePtr device_;
    std::shared_ptr<CLKernelPool> pool_;
    cl_program program_;
    cl_kernel kernel_;
    std::string name_;
};

Task* CLAlgorithmUnit::ScheduleTask(const std::vector<TexturePtr>& inputs, const std::vector<TexturePtr>& outputs,
                                    Params* params, const Region& region, ResultCode* status) {
    if (status) *status = 0;
    auto* values = dynamic_cast<ParamSet*>(params);
    std::vector<const CLPlane*> planes;
    for (const auto* list : {&inputs, &outputs}) {
        for (const TexturePtr& t : *list) {
            auto* cl = dynamic_cast<CLTexture*>(t.get());
            if (!cl) {
                Fail(status, "-", "takes a texture that is not an OpenCL texture");
                return nullptr;
            }
            for (const CLPlane& p : cl->planes()) planes.push_back(&p);
        }
    }

    auto task = std::make_unique<CLTask>();
    task->device = device_;
    cl_uint argc = 0;
    clGetKernelInfo(kernel_, CL_KERNEL_NUM_ARGS, sizeof argc, &argc, nullptr);
    size_t nextPlane = 0;
    for (cl_uint i = 0; i < argc; ++i) {
        char name[256] = {0}, type[256] = {0};
        cl_kernel_arg_address_qualifier address = CL_KERNEL_ARG_ADDRESS_PRIVATE;
        if (clGetKernelArgInfo(kernel_, i, CL_KERNEL_ARG_NAME, sizeof name - 1, name, nullptr) != CL_SUCCESS ||
            clGetKernelArgInfo(kernel_, i, CL_KERNEL_ARG_TYPE_NAME, sizeof type - 1, type, nullptr) != CL_SUCCESS ||
            clGetKernelArgInfo(kernel_, i, CL_KERNEL_ARG_ADDRESS_QUALIFIER, sizeof address, &address, nullptr) !=
                CL_SUCCESS) {
            Fail(status, "?", "cannot be described (program built without argument information)");
            return nullptr;
        }
        const std::string typeName = type;
        const bool isPointer = typeName.find('*') != std::string::npos;
        const bool isImage = typeName.find("image") != std::string::npos;
        cl_int err = CL_SUCCESS;
        const ParamSet::Value* v = values ? values->Find(name) : nullptr;
        if (v) {
            if (isPointer) {
                // Tables and matrices travel as a read-only buffer of their bytes.
                if (v->bytes.empty()) {
                    Fail(status, name, "is an empty table");
                    return nullptr;
                }
                cl_mem buf = clCreateBuffer(device_->context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR,
                                            v->bytes.size(), const_cast<uint8_t*>(v->bytes.data()), &err);
                if (err != CL_SUCCESS) {
                    Fail(status, name, "cannot get a buffer");
                    return nullptr;
                }
                task->temporaries.push_back(buf);
                err = clSetKernelArg(kernel_, i, sizeof buf, &buf);
            } else {
                size_t want = TypeSize(typeName);
                if (want != 0 && want != v->bytes.size()) {
                    Fail(status, name, ("has type " + typeName + " but the value has " +
                                        std::to_string(v->bytes.size()) + " bytes").c_str());
                    return nullptr;
                }
                err = clSetKernelArg(kernel_, i, v->bytes.size(), v->bytes.data());
            }
        } else if (isImage || (isPointer && address == CL_KERNEL_ARG_ADDRESS_GLOBAL)) {
            if (nextPlane >= planes.size()) {
                Fail(status, name, "is left unbound (no texture plane left)");
                return nullptr;
            }
            const CLPlane* p = planes[nextPlane++];
            if (p->isImage != isImage) {
                Fail(status, name, isImage ? "wants an image but the plane is a buffer"
                                           : "wants a buffer but the plane is an image");
                return nullptr;
            }
            err = clSetKernelArg(kernel_, i, sizeof(cl_mem), &p->mem);
        } else {
            Fail(status, name, "is left unbound");
            return nullptr;
        }
        if (err != CL_SUCCESS) {
            Fail(status, name, ("was refused by the driver (" + std::to_string(err) + ")").c_str());
            return nullptr;
        }
    }

    if (region.width <= 0 || region.height <= 0) {
        Fail(status, "-", "region is empty");
        return nullptr;
    }
    const size_t global[2] = {(static_cast<size_t>(region.width) + kLocalSize - 1) / kLocalSize * kLocalSize,
                              (static_cast<size_t>(region.height) + kLocalSize - 1) / kLocalSize * kLocalSize};
    const size_t local[2] = {kLocalSize, kLocalSize};
    cl_int err = clEnqueueNDRangeKernel(device_->queue, kernel_, 2, nullptr, global, local, 0, nullptr, &task->event);
    if (err != CL_SUCCESS) {
        ZRP_LOG(4, "kernel %s: enqueue failed (%d)", name_.c_str(), err);
        ++device_->refusals;
        if (status) *status = 1;
        return nullptr;
    }
    clFlush(device_->queue);
    return task.release();
}

}  // namespace

// --- device ------------------------------------------------------------------------------------------

CLDevice::~CLDevice() {
    if (queue) clReleaseCommandQueue(queue);
    if (context) clReleaseContext(context);
}

CLDevicePtr OpenDefaultCLDevice(const std::string& prefer, bool allowCpu) {
    cl_uint count = 0;
    if (clGetPlatformIDs(0, nullptr, &count) != CL_SUCCESS || count == 0) return nullptr;
    std::vector<cl_platform_id> platforms(count);
    clGetPlatformIDs(count, platforms.data(), nullptr);

    cl_platform_id chosenPlatform = nullptr;
    cl_device_id chosen = nullptr;
    std::vector<cl_device_type> kinds = {CL_DEVICE_TYPE_GPU, CL_DEVICE_TYPE_ACCELERATOR};
    if (allowCpu) kinds.push_back(CL_DEVICE_TYPE_CPU);
    for (cl_device_type kind : kinds) {
        for (cl_platform_id p : platforms) {
            cl_uint n = 0;
            if (clGetDeviceIDs(p, kind, 0, nullptr, &n) != CL_SUCCESS || n == 0) continue;
            std::vector<cl_device_id> devices(n);
            clGetDeviceIDs(p, kind, n, devices.data(), nullptr);
            for (cl_device_id d : devices) {
                if (!prefer.empty() && DeviceString(d, CL_DEVICE_NAME).find(prefer) == std::string::npos) continue;
                chosen = d;
                chosenPlatform = p;
                break;
            }
            if (chosen) break;
        }
        if (chosen) break;
    }
    if (!chosen) return nullptr;

    auto dev = std::make_shared<CLDevice>();
    dev->platform = chosenPlatform;
    dev->device = chosen;
    dev->name = DeviceString(chosen, CL_DEVICE_NAME);
    cl_bool images = CL_FALSE;
    clGetDeviceInfo(chosen, CL_DEVICE_IMAGE_SUPPORT, sizeof images, &images, nullptr);
    dev->imageSupport = images == CL_TRUE;
    cl_int err = CL_SUCCESS;
    cl_context_properties props[] = {CL_CONTEXT_PLATFORM, reinterpret_cast<cl_context_properties>(chosenPlatform), 0};
    dev->context = clCreateContext(props, 1, &chosen, nullptr, nullptr, &err);
    if (err != CL_SUCCESS || !dev->context) return nullptr;
    dev->queue = clCreateCommandQueue(dev->context, chosen, 0, &err);
    if (err != CL_SUCCESS || !dev->queue) return nullptr;
    if (!dev->imageSupport) {
        ZRP_LOG(4, "OpenCL device %s has no image support", dev->name.c_str());
        return nullptr;
    }
    return dev;
}

// --- textures -------------------------------------------------------------------------------------------

std::vector<PlaneShape> PlaneShapes(ImageColorSpace cs, BitFormat bits, int32_t w, int32_t h) {
    // Float data (tables a kernel indexes, such as a colour cube) is one buffer of four floats a
    // texel: kernels take it as a float4 pointer, and it reads back exactly as written.
    if (IsFloat32(bits)) {
        if (cs != kColorSpaceBGRA) return {};
        return {{w, h, 16, false}};
    }
    const int32_t bps = IsSixteenBit(bits) ? 2 : 1;
    const int32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (cs) {
    case kColorSpaceBGRA: return {{w, h, bps * 4, true}};
    case kColorSpaceNV12: return {{w, h, bps, false}, {cw * 2, ch, bps, false}};
    case kColorSpaceYV12: return {{w, h, bps, false}, {cw, ch, bps, false}, {cw, ch, bps, false}};
    case kColorSpaceYUVA:
        return {{w, h, bps, false}, {cw, ch, bps, false}, {cw, ch, bps, false}, {w, h, bps, false}};
    case kColorSpaceYUV422: return {{w, h, bps, false}, {cw, h, bps, false}, {cw, h, bps, false}};
    case kColorSpaceYUVA422:
        return {{w, h, bps, false}, {cw, h, bps, false}, {cw, h, bps, false}, {w, h, bps, false}};
    default: return {};
    }
}

std::shared_ptr<CLTexture> CLTexture::Create(const CLDevicePtr& device, ImageColorSpace cs, BitFormat bits,
                                             int32_t width, int32_t height) {
    if (!device || width <= 0 || height <= 0 || width > 32768 || height > 32768) return nullptr;
    std::vector<PlaneShape> shapes = PlaneShapes(cs, bits, width, height);
    if (shapes.empty()) return nullptr;
    std::shared_ptr<CLTexture> t(new (std::nothrow) CLTexture(device, cs, bits, width, height));
    if (!t) return nullptr;
    for (const PlaneShape& s : shapes) {
        CLPlane p;
        p.isImage = s.isImage;
        p.width = s.width;
        p.height = s.height;
        p.bytesPerSample = s.bytesPerSample;
        p.pitch = s.width * s.bytesPerSample;
        cl_int err = CL_SUCCESS;
        if (s.isImage) {
            cl_image_format fmt = IsSixteenBit(bits) ? cl_image_format{CL_RGBA, CL_UNORM_INT16}
                                                     : cl_image_format{CL_BGRA, CL_UNORM_INT8};
            cl_image_desc desc{};
            desc.image_type = CL_MEM_OBJECT_IMAGE2D;
            desc.image_width = static_cast<size_t>(s.width);
            desc.image_height = static_cast<size_t>(s.height);
            p.mem = clCreateImage(device->context, CL_MEM_READ_WRITE, &fmt, &desc, nullptr, &err);
        } else {
            p.mem = clCreateBuffer(device->context, CL_MEM_READ_WRITE,
                                   static_cast<size_t>(p.pitch) * static_cast<size_t>(p.height), nullptr, &err);
        }
        if (err != CL_SUCCESS || !p.mem) {
            ZRP_LOG(4, "cannot create a %dx%d texture plane (%d)", s.width, s.height, err);
            return nullptr;
        }
        t->planes_.push_back(p);
    }
    return t;
}

CLTexture::~CLTexture() {
    for (CLPlane& p : planes_) clReleaseMemObject(p.mem);
}

int32_t CLTexture::GetPitch(int32_t plane) const {
    return plane >= 0 && plane < GetPlaneCount() ? planes_[plane].pitch : 0;
}

ResultCode CLTexture::GetImageFormat(ImageFormat** format) const {
    return ZRPImageFormatAlloc(cs_, bits_, width_, height_, 0, format);
}

ResultCode CLTexture::Upload(int32_t index, const uint8_t* data, int32_t pitch) {
    if (index < 0 || index >= GetPlaneCount() || !data) return 1;
    const CLPlane& p = planes_[index];
    const size_t rowBytes = static_cast<size_t>(p.pitch);
    if (pitch < p.pitch) return 1;
    cl_int err;
    if (p.isImage) {
        std::vector<uint8_t> rows;
        const uint8_t* src = data;
        size_t srcPitch = static_cast<size_t>(pitch);
        if (IsSixteenBit(bits_)) {
            rows.resize(rowBytes * p.height);
            for (int32_t y = 0; y < p.height; ++y) {
                std::memcpy(rows.data() + rowBytes * y, data + static_cast<size_t>(pitch) * y, rowBytes);
                SwapRedBlue16(rows.data() + rowBytes * y, p.width);
            }
            src = rows.data();
            srcPitch = rowBytes;
        }
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {static_cast<size_t>(p.width), static_cast<size_t>(p.height), 1};
        err = clEnqueueWriteImage(device_->queue, p.mem, CL_TRUE, origin, region, srcPitch, 0, src, 0, nullptr,
                                  nullptr);
    } else {
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {rowBytes, static_cast<size_t>(p.height), 1};
        err = clEnqueueWriteBufferRect(device_->queue, p.mem, CL_TRUE, origin, origin, region, rowBytes, 0,
                                       static_cast<size_t>(pitch), 0, data, 0, nullptr, nullptr);
    }
    return err == CL_SUCCESS ? 0 : 1;
}

ResultCode CLTexture::Download(int32_t index, uint8_t* data, int32_t pitch) {
    if (index < 0 || index >= GetPlaneCount() || !data) return 1;
    const CLPlane& p = planes_[index];
    const size_t rowBytes = static_cast<size_t>(p.pitch);
    if (pitch < p.pitch) return 1;
    cl_int err;
    const size_t origin[3] = {0, 0, 0};
    if (p.isImage) {
        const size_t region[3] = {static_cast<size_t>(p.width), static_cast<size_t>(p.height), 1};
        err = clEnqueueReadImage(device_->queue, p.mem, CL_TRUE, origin, region, static_cast<size_t>(pitch), 0, data,
                                 0, nullptr, nullptr);
        if (err == CL_SUCCESS && IsSixteenBit(bits_)) {
            for (int32_t y = 0; y < p.height; ++y) SwapRedBlue16(data + static_cast<size_t>(pitch) * y, p.width);
        }
    } else {
        const size_t region[3] = {rowBytes, static_cast<size_t>(p.height), 1};
        err = clEnqueueReadBufferRect(device_->queue, p.mem, CL_TRUE, origin, origin, region, rowBytes, 0,
                                      static_cast<size_t>(pitch), 0, data, 0, nullptr, nullptr);
    }
    return err == CL_SUCCESS ? 0 : 1;
}

// Mapping hands out a host copy: it keeps the channel swap of 16-bit BGRA out of the caller's
// way and works the same for images and buffers. Mode 1 copies in the current contents too, so
// a body that writes only part of the frame leaves the rest as it was.
MappedBuffer* CLTexture::Map(int32_t mode) {
    auto m = std::make_unique<CLMapped>();
    m->mode = mode;
    for (int32_t i = 0; i < GetPlaneCount(); ++i) {
        const CLPlane& p = planes_[i];
        m->storage.emplace_back(static_cast<size_t>(p.pitch) * p.height);
        if (Download(i, m->storage.back().data(), p.pitch) != 0) return nullptr;
        m->planes.push_back({m->storage.back().data(), p.pitch, p.width, p.height});
    }
    std::lock_guard<std::mutex> lock(mapMutex_);
    mapped_.push_back(std::move(m));
    return mapped_.back().get();
}

ResultCode CLTexture::Unmap(MappedBuffer* buffer) {
    std::unique_ptr<MappedBuffer> owned;
    {
        std::lock_guard<std::mutex> lock(mapMutex_);
        auto it = std::find_if(mapped_.begin(), mapped_.end(), [&](const auto& p) { return p.get() == buffer; });
        if (it == mapped_.end()) return 1;
        owned = std::move(*it);
        mapped_.erase(it);
    }
    auto* m = static_cast<CLMapped*>(owned.get());
    if (m->mode != 1) return 0;
    ResultCode r = 0;
    for (int32_t i = 0; i < m->GetPlaneCount(); ++i) r |= Upload(i, m->planes[i].data, m->planes[i].pitch);
    return r;
}

ResultCode CLTexture::CopyFrom(Texture& source) {
    auto* src = dynamic_cast<CLTexture*>(&source);
    if (!src) {
        // Another platform: through host memory.
        MappedBuffer* in = source.Map(0);
        if (!in) return 1;
        ResultCode r = in->GetPlaneCount() == GetPlaneCount() ? 0 : 1;
        for (int32_t i = 0; r == 0 && i < GetPlaneCount(); ++i) r = Upload(i, in->GetPlane(i).data, in->GetPlane(i).pitch);
        source.Unmap(in);
        return r;
    }
    if (src->cs_ != cs_ || !(src->bits_ == bits_) || src->width_ != width_ || src->height_ != height_) return 1;
    for (size_t i = 0; i < planes_.size(); ++i) {
        const CLPlane& s = src->planes_[i];
        const CLPlane& d = planes_[i];
        cl_int err;
        if (d.isImage) {
            const size_t origin[3] = {0, 0, 0};
            const size_t region[3] = {static_cast<size_t>(d.width), static_cast<size_t>(d.height), 1};
            err = clEnqueueCopyImage(device_->queue, s.mem, d.mem, origin, origin, region, 0, nullptr, nullptr);
        } else {
            err = clEnqueueCopyBuffer(device_->queue, s.mem, d.mem, 0, 0,
                                      static_cast<size_t>(d.pitch) * static_cast<size_t>(d.height), 0, nullptr, nullptr);
        }
        if (err != CL_SUCCESS) return 1;
    }
    return clFinish(device_->queue) == CL_SUCCESS ? 0 : 1;
}

// --- factory ------------------------------------------------------------------------------------------

CLKernelPool::~CLKernelPool() {
    for (auto& [key, kernels] : idle_)
        for (cl_kernel k : kernels) clReleaseKernel(k);
}

cl_kernel CLKernelPool::Take(cl_program program, const std::string& name, cl_int* err) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<cl_kernel>& idle = idle_[{program, name}];
        if (!idle.empty()) {
            cl_kernel k = idle.back();
            idle.pop_back();
            *err = CL_SUCCESS;
            return k;
        }
    }
    cl_kernel k = clCreateKernel(program, name.c_str(), err);
    if (*err == CL_SUCCESS && k) ++created_;
    return k;
}

void CLKernelPool::Give(cl_program program, const std::string& name, cl_kernel kernel) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_[{program, name}].push_back(kernel);
}

OpenCLFactory::OpenCLFactory(CLDevicePtr device, bool hideFp64)
    : device_(std::move(device)), context_(std::make_unique<CLDeviceContext>(device_)), hideFp64_(hideFp64) {}

OpenCLFactory::~OpenCLFactory() {
    for (cl_program p : programs_) clReleaseProgram(p);
}

ResultCode OpenCLFactory::IsAlgorithmRegistered(const char* platform, const char* key) {
    if (!platform || !key || std::strcmp(platform, "opencl") != 0) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    return algorithms_.count(key) ? 0 : 1;
}

cl_program OpenCLFactory::Build(const char* key, const char* source, size_t length) {
    if (!source || length == 0) {
        ZRP_LOG(4, "program %s: empty source", key);
        return nullptr;
    }
    cl_int err = CL_SUCCESS;
    // Undefining the extension's macro is what a device without doubles shows a kernel.
    static const char kNoFp64[] = "#undef cl_khr_fp64\n";
    const char* parts[2] = {kNoFp64, source};
    const size_t lengths[2] = {sizeof kNoFp64 - 1, length};
    cl_program program = hideFp64_ ? clCreateProgramWithSource(device_->context, 2, parts, lengths, &err)
                                   : clCreateProgramWithSource(device_->context, 1, &source, &length, &err);
    if (err != CL_SUCCESS || !program) return nullptr;
    ++builds_;
    err = clBuildProgram(program, 1, &device_->device, "-cl-kernel-arg-info", nullptr, nullptr);
    if (err != CL_SUCCESS) {
        size_t n = 0;
        clGetProgramBuildInfo(program, device_->device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &n);
        std::string log(n, '\0');
        if (n) clGetProgramBuildInfo(program, device_->device, CL_PROGRAM_BUILD_LOG, n, log.data(), nullptr);
        ZRP_LOG(4, "program %s does not build (%d):\n%s", key, err, log.c_str());
        clReleaseProgram(program);
        return nullptr;
    }
    return program;
}

ResultCode OpenCLFactory::RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                                          const PixelFormat*, const PixelFormat*,
                                          const std::vector<std::string>& kernelNames) {
    if (!platform || !key || std::strcmp(platform, "opencl") != 0) {
        ZRP_LOG(4, "program %s: no device for platform %s", key ? key : "?", platform ? platform : "?");
        return 1;
    }
    cl_program program = Build(key, source, length);
    if (!program) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    programs_.push_back(program);
    // The key dispatches the first kernel named; each further name is an algorithm of its own.
    algorithms_[key] = {program, kernelNames.empty() ? std::string(key) : kernelNames.front()};
    for (size_t i = 1; i < kernelNames.size(); ++i) algorithms_[kernelNames[i]] = {program, kernelNames[i]};
    return 0;
}

ResultCode OpenCLFactory::RegisterAlgorithm(const char* platform, const char* firstKernel, const char* source,
                                            size_t length, const std::vector<AlgorithmUnit*>& units) {
    if (!platform || !firstKernel || std::strcmp(platform, "opencl") != 0) return 1;
    cl_program program = Build(firstKernel, source, length);
    if (!program) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    programs_.push_back(program);
    algorithms_[firstKernel] = {program, firstKernel};
    for (AlgorithmUnit* u : units) {
        if (auto* d = dynamic_cast<AlgorithmUnitDesc*>(u)) algorithms_[d->kernel] = {program, d->kernel};
    }
    return 0;
}

DeviceContext* OpenCLFactory::GetDeviceContext(const char* platform) {
    if (platform && std::strcmp(platform, "opencl") == 0) return context_.get();
    return nullptr;
}

ResultCode OpenCLFactory::CreateTexture(TexturePtr* texture, const ImageFormat* format, const char* platform,
                                        int32_t kind, uint8_t* const* planes, const int32_t* pitches, int32_t,
                                        int32_t) {
    if (!texture || !format) return 1;
    texture->reset();
    if (!platform || std::strcmp(platform, "opencl") != 0 || kind != kTextureKindOpenCL) return 1;
    auto t = CLTexture::Create(device_, format->GetColorSpace(), format->GetBitFormat(), format->GetWidth(),
                               format->GetHeight());
    if (!t) return 1;
    if (planes) {
        for (int32_t i = 0; i < t->GetPlaneCount(); ++i) {
            if (!planes[i] || !pitches || t->Upload(i, planes[i], pitches[i]) != 0) return 1;
        }
    }
    *texture = t;
    return 0;
}

ResultCode OpenCLFactory::ATLUAcquire(AlgorithmUnitPtr* unit, const ImageFormat*, const ImageFormat*, const char* key,
                                      const char* platform) {
    if (!unit) return 1;
    unit->reset();
    if (!key || !platform || std::strcmp(platform, "opencl") != 0) return 1;
    Registered r;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = algorithms_.find(key);
        if (it == algorithms_.end()) {
            ZRP_LOG(4, "no algorithm registered under %s", key);
            ++device_->refusals;
            return 1;
        }
        r = it->second;
    }
    // A kernel object per unit: argument state is not shared between concurrent tasks.
    cl_int err = CL_SUCCESS;
    cl_kernel kernel = kernels_->Take(r.program, r.kernel, &err);
    if (err != CL_SUCCESS || !kernel) {
        ZRP_LOG(4, "program of %s has no kernel %s (%d)", key, r.kernel.c_str(), err);
        ++device_->refusals;
        return 1;
    }
    *unit = std::make_shared<CLAlgorithmUnit>(device_, kernels_, r.program, kernel, r.kernel);
    return 0;
}

}  // namespace zrp
