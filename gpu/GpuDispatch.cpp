#include "gpu/GpuDispatch.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "corelog.h"

namespace orvex {

zrp::ATLUFactory* g_atlu_factory = nullptr;

namespace {

// Process-wide registry of the visual-processing algorithms, filled when a table loads.
std::mutex g_registryMutex;
AlgorithmMap g_registry;

// Frees a platform object when the scope ends.
struct FreeOnExit {
    zrp::Object* object;
    ~FreeOnExit() {
        if (object) ZRPObjectFree(object);
    }
};

}  // namespace

void AddAlgorithms(const AlgorithmMap& map) {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    for (const auto& [name, data] : map) g_registry.emplace(name, data);
}

int EnsureAlgorithmRegistered(const std::string& name) {
    GPUKernelDataPtr data;
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        auto it = g_registry.find(name);
        if (it == g_registry.end()) return 1;
        data = it->second;
    }
    // One registration per algorithm even when the warm-up asks from several threads; different
    // algorithms register in parallel.
    std::lock_guard<std::mutex> lock(data->registering);
    if (data->registeredWith != g_atlu_factory) {
        data->state = 0;
        data->registeredWith = g_atlu_factory;
    }
    const char* named = GPUPlatformName(static_cast<GPUPlatform>(data->platform));
    const char* platformName = named ? named : "";
    // A factory made at the address of one since destroyed does not have the program.
    if (data->state == 1 && g_atlu_factory && !data->kernels.empty() &&
        g_atlu_factory->IsAlgorithmRegistered(platformName, data->kernels[0].name) != 0)
        data->state = 0;
    if (data->state == 1) return 0;
    if (data->state == 2) return 1;
    if (!g_atlu_factory || data->kernels.empty()) {
        data->state = 2;
        return 1;
    }
    std::vector<zrp::AlgorithmUnit*> units;
    for (const GPUKernelDesc& k : data->kernels) {
        zrp::AlgorithmUnit* unit =
            ZRPAlgorithmUnitAlloc(k.inColorSpace, k.inBits, k.outColorSpace, k.outBits, k.name);
        if (unit) units.push_back(unit);
    }
    zrp::ResultCode r = g_atlu_factory->RegisterAlgorithm(platformName, data->kernels[0].name,
                                                         data->source.data(), data->source.size(), units);
    for (zrp::AlgorithmUnit* unit : units) ZRPObjectFree(unit);
    data->state = r == 0 ? 1 : 2;
    return r == 0 ? 0 : 1;
}

bool IsProgramRegistered(GPUPlatform platform, const char* key) {
    const char* name = GPUPlatformName(platform);
    if (!g_atlu_factory || !name || !key) return false;
    return g_atlu_factory->IsAlgorithmRegistered(name, key) == 0;
}

bool RegisterProgramSource(const std::string& source, const char* key, GPUPlatform platform,
                           zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace, int inBits1,
                           int inBits2, int outBits1, int outBits2) {
    const char* name = GPUPlatformName(platform);
    if (!g_atlu_factory || !name || !key) return false;
    std::vector<std::string> kernels{key};
    zrp::PixelFormat* in = nullptr;
    zrp::PixelFormat* out = nullptr;
    ZRPPixelFormatAlloc(inColorSpace, zrp::BitFormat{2, inBits1, inBits2}, &in);
    ZRPPixelFormatAlloc(outColorSpace, zrp::BitFormat{2, outBits1, outBits2}, &out);
    FreeOnExit freeIn{in}, freeOut{out};
    return g_atlu_factory->RegisterProgram(name, key, source.data(), source.size(), in, out, kernels) == 0;
}

int DispatchEffectKernel(zrp::Params* params, const char* key, const std::vector<zrp::TexturePtr>& inputs,
                         const std::vector<zrp::TexturePtr>& outputs) {
    if (!g_atlu_factory) return 1;
    if (!key || inputs.empty() || outputs.empty() || !inputs[0] || !outputs[0]) return 1;
    EnsureAlgorithmRegistered(key);

    zrp::ImageFormat* inFormat = nullptr;
    zrp::ImageFormat* outFormat = nullptr;
    zrp::TextureContext* inCtx = inputs[0]->GetContext();
    zrp::TextureContext* outCtx = outputs[0]->GetContext();
    if (!inCtx || !outCtx) return 1;
    inCtx->GetImageFormat(&inFormat);
    outCtx->GetImageFormat(&outFormat);
    FreeOnExit freeIn{inFormat}, freeOut{outFormat};
    if (!inFormat || !outFormat) return 1;

    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, outFormat->GetWidth(), outFormat->GetHeight(), 0,
                            &format) != 0 ||
        !format)
        return 1;
    FreeOnExit freeFormat{format};

    zrp::AlgorithmUnitPtr unit;
    g_atlu_factory->ATLUAcquire(&unit, inFormat, format, key, "opencl");
    if (!unit) return 1;
    zrp::Region region{0, 0, outFormat->GetWidth(), outFormat->GetHeight()};
    zrp::ResultCode status = 0;
    zrp::Task* task = unit->ScheduleTask(inputs, outputs, params, region, &status);
    if (!task) return 1;
    bool failed = task->WaitForCompletion(-1) != 0;
    failed = unit->FinalizeTask(task) != 0 || failed;
    return failed ? 1 : 0;
}

int ProcessGPU_OpenCL(zrp::Params* params, const char* kernel, const zrp::ImageFormat* outputFormat,
                      const std::vector<zrp::TexturePtr>& inputs, const std::vector<zrp::TexturePtr>& outputs,
                      const int32_t* gridWidth, const int32_t* gridHeight) {
    constexpr const char* kTag = "orvex:ProcessGPU_OpenCL";
    if (!g_atlu_factory) {
        ORVEX_LOG(4, kTag, "g_atlu_factory is nullptr!!");
        return 1;
    }
    if (!kernel || !outputFormat) return 1;
    EnsureAlgorithmRegistered(kernel);

    zrp::ImageFormat* inFormat = nullptr;
    if (!inputs.empty()) {
        zrp::TextureContext* ctx = inputs[0] ? inputs[0]->GetContext() : nullptr;
        if (!ctx || ctx->GetImageFormat(&inFormat) != 0 || !inFormat) {
            if (inFormat) ZRPObjectFree(inFormat);
            return 1;
        }
    } else if (ZRPImageFormatAlloc(zrp::kColorSpaceNone, zrp::kBitFormat8, 0, 0, 0, &inFormat) != 0 || !inFormat) {
        return 1;
    }
    FreeOnExit freeIn{inFormat};

    zrp::AlgorithmUnitPtr unit;
    g_atlu_factory->ATLUAcquire(&unit, inFormat, outputFormat, kernel, "opencl");
    if (!unit) {
        ORVEX_LOG(4, kTag, "ATLUAcquire is nullptr!!");
        return 1;
    }
    zrp::Region region{0, 0, outputFormat->GetWidth(), outputFormat->GetHeight()};
    if (gridWidth && gridHeight) {
        region.width = *gridWidth;
        region.height = *gridHeight;
    }
    zrp::ResultCode status = 0;
    zrp::Task* task = unit->ScheduleTask(inputs, outputs, params, region, &status);
    if (!task) {
        ORVEX_LOG(4, kTag, "ScheduleTask is nullptr!!");
        return 1;
    }
    bool failed = false;
    if (task->WaitForCompletion(-1) != 0) {
        ORVEX_LOG(4, kTag, "WaitForCompletion failled!!");
        failed = true;
    }
    if (unit->FinalizeTask(task) != 0) {
        ORVEX_LOG(4, kTag, "FinalizeTask failled!!");
        failed = true;
    }
    return failed ? 1 : 0;
}

GPUPlatform TexturePlatform(zrp::Texture& texture) {
    zrp::TextureContext* ctx = texture.GetContext();
    const int32_t kind = ctx ? ctx->GetKind() : 0;
    if (kind >= 1 && kind <= 5) return DirectX;
    if (kind == zrp::kTextureKindOpenCL) return OpenCL;
    if (kind == zrp::kTextureKindOpenGL || kind == zrp::kTextureKindOpenGLAlt) return OpenGL;
    return None;
}

static int32_t TextureKindFor(GPUPlatform platform) {
    switch (platform) {
    case DirectX: return 5;
    case OpenCL: return zrp::kTextureKindOpenCL;
    case OpenGL: return zrp::kTextureKindOpenGL;
    default: return 0;
    }
}

zrp::TexturePtr CreatePlatformTexture(const zrp::ImageFormat* format, GPUPlatform platform, uint8_t* const* planes,
                                      const int32_t* pitches, int32_t pixelFormat, int32_t reserved) {
    const int32_t kind = TextureKindFor(platform);
    if (!g_atlu_factory || !format || kind == 0) return nullptr;
    zrp::TexturePtr texture;
    g_atlu_factory->CreateTexture(&texture, format, GPUPlatformName(platform), kind, planes, pitches, pixelFormat,
                                  reserved);
    return texture;
}

zrp::TexturePtr ConvertTexturePlatform(const zrp::TexturePtr& texture, GPUPlatform platform) {
    if (!texture) return nullptr;
    if (TexturePlatform(*texture) == platform) return texture;
    zrp::TextureContext* ctx = texture->GetContext();
    zrp::ImageFormat* format = nullptr;
    if (!ctx || ctx->GetImageFormat(&format) != 0 || !format) return nullptr;
    FreeOnExit freeFormat{format};
    zrp::TexturePtr copy = CreatePlatformTexture(format, platform, nullptr, nullptr, 0, 0);
    if (!copy || copy->CopyFrom(*texture) != 0) return nullptr;
    return copy;
}

zrp::TexturePtr CreateTextureForFrame(const EffectFrame& frame) {
    if (!g_atlu_factory) return nullptr;
    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, static_cast<int>(frame.width[0]),
                            static_cast<int>(frame.height[0]), 0, &format) != 0 ||
        !format)
        return nullptr;
    FreeOnExit freeFormat{format};
    zrp::TexturePtr texture;
    g_atlu_factory->CreateTexture(&texture, format, "opengl", zrp::kTextureKindOpenGL, frame.data, frame.pitch,
                                  static_cast<int32_t>(frame.pixel_fmt), 0);
    return texture;
}

int DispatchOpenGLProgram(zrp::Params* params, const char* key, const std::vector<zrp::TexturePtr>& inputs,
                          const std::vector<zrp::TexturePtr>& outputs) {
    if (!g_atlu_factory) return 1;
    if (!key || outputs.empty() || !outputs[0]) return 1;
    // Shader effects register their programs by key (not through the algorithm registry): a key
    // the registry does not know still runs when the factory has it.
    if (int r = EnsureAlgorithmRegistered(key); r != 0 && !IsProgramRegistered(OpenGL, key)) return r;

    std::vector<zrp::TexturePtr> glInputs;
    for (const zrp::TexturePtr& t : inputs) {
        zrp::TexturePtr converted = ConvertTexturePlatform(t, OpenGL);
        if (!converted) return 1;
        glInputs.push_back(converted);
    }
    zrp::TextureContext* outCtx = outputs[0]->GetContext();
    zrp::ImageFormat* outFormat = nullptr;
    if (!outCtx || outCtx->GetImageFormat(&outFormat) != 0 || !outFormat) return 1;
    FreeOnExit freeOut{outFormat};
    zrp::ImageFormat* inFormat = nullptr;
    if (glInputs.size() >= 2 && glInputs[0]->GetContext()) glInputs[0]->GetContext()->GetImageFormat(&inFormat);
    FreeOnExit freeIn{inFormat};
    const zrp::ImageFormat* acquireIn = inFormat ? inFormat : outFormat;

    std::vector<zrp::TexturePtr> glOutputs = outputs;
    bool converted = false;
    if (outCtx->GetKind() != zrp::kTextureKindOpenGL) {
        zrp::TexturePtr c = ConvertTexturePlatform(outputs[0], OpenGL);
        if (!c) return 1;
        glOutputs = {c};
        converted = true;
    }
    zrp::TextureContext* glCtx = glOutputs[0]->GetContext();
    zrp::AlgorithmUnitPtr unit;
    g_atlu_factory->ATLUAcquire(&unit, acquireIn, outFormat, key, "opengl");
    if (!unit || !glCtx) return 1;
    zrp::Region region{0, 0, glCtx->GetWidth(), glCtx->GetHeight()};
    zrp::ResultCode status = 0;
    zrp::Task* task = unit->ScheduleTask(glInputs, glOutputs, params, region, &status);
    if (!task) return 1;
    bool failed = task->WaitForCompletion(-1) != 0;
    failed = unit->FinalizeTask(task) != 0 || failed;
    if (converted && !failed) failed = outputs[0]->CopyFrom(*glOutputs[0]) != 0;
    return failed ? 1 : 0;
}

// --- kernel arguments ------------------------------------------------------------------------------

KernelArgs::KernelArgs() { ok_ = ZRPAllocParams(&params_) == 0 && params_; }

KernelArgs::~KernelArgs() {
    if (params_) ZRPObjectFree(params_);
}

KernelArgs& KernelArgs::Byte(const char* name, uint8_t v) {
    ok_ = ok_ && params_->SetParamValue(name, zrp::kParamByte, &v, 1) == 0;
    return *this;
}

KernelArgs& KernelArgs::Int(const char* name, int32_t v) {
    ok_ = ok_ && params_->SetParamValue(name, zrp::kParamInt32, &v, 4) == 0;
    return *this;
}

KernelArgs& KernelArgs::Float(const char* name, float v) {
    ok_ = ok_ && params_->SetParamValue(name, zrp::kParamFloat, &v, 4) == 0;
    return *this;
}

KernelArgs& KernelArgs::Block(const char* name, const void* data, size_t bytes) {
    ok_ = ok_ && params_->SetParamValue(name, zrp::kParamBlock, data, bytes) == 0;
    return *this;
}

// --- TextureHostMapping ---------------------------------------------------------------------------

namespace {

// Platform colour space to the pixel format of the mapped host frame; 15 = not a host format.
uint32_t PixelFormatForColorSpace(zrp::ImageColorSpace cs) {
    switch (static_cast<int32_t>(cs)) {
    case zrp::kColorSpaceYV12: return YUVA420;  // planar 4:2:0; `planes` says whether alpha is there
    case zrp::kColorSpaceNV12: return NV12;
    case zrp::kColorSpaceBGRA: return BGRA32;
    case 6: return BGRA32_ALT;
    default: return PIXFMT_COUNT;
    }
}

}  // namespace

bool TextureHostMapping::Map(const zrp::TexturePtr& texture, int mode, bool repack) {
    Release();
    if (!texture) return false;
    zrp::TextureContext* ctx = texture->GetContext();
    if (!ctx) return false;
    zrp::ImageFormat* format = nullptr;
    ctx->GetImageFormat(&format);
    FreeOnExit freeFormat{format};
    frame_ = EffectFrame{};
    frame_.pixel_fmt = format ? PixelFormatForColorSpace(format->GetColorSpace()) : PIXFMT_COUNT;

    zrp::MappedBuffer* buffer = texture->Map(mode);
    if (!buffer) return false;
    texture_ = texture;
    buffer_ = buffer;
    mode_ = mode;

    const int planes = std::min(buffer->GetPlaneCount(), 4);
    frame_.planes = static_cast<uint32_t>(planes);
    for (int i = 0; i < planes; ++i) {
        zrp::MappedPlane p = buffer->GetPlane(i);
        frame_.data[i] = p.data;
        frame_.pitch[i] = p.pitch;
        frame_.width[i] = static_cast<uint32_t>(p.width);
        frame_.height[i] = static_cast<uint32_t>(p.height);
    }

    // Effects expect tight BGRA rows: when the platform pads them, work on a packed copy.
    const size_t rowBytes = static_cast<size_t>(frame_.width[0]) * 4;
    if (repack && IsBGRA8(frame_.pixel_fmt) && planes > 0 && static_cast<size_t>(frame_.pitch[0]) != rowBytes &&
        buffer->GetLayout() == 2) {
        rows_ = static_cast<int32_t>(frame_.height[0]);
        packed_.assign(rowBytes * rows_ + 16, 0);
        packedRowBytes_ = rowBytes;
        mappedPlane_ = frame_.data[0];
        mappedPitch_ = frame_.pitch[0];
        for (int32_t y = 0; y < rows_; ++y)
            std::memcpy(packed_.data() + rowBytes * y, mappedPlane_ + static_cast<size_t>(mappedPitch_) * y, rowBytes);
        frame_.data[0] = packed_.data();
        frame_.pitch[0] = static_cast<int32_t>(rowBytes);
    }
    return true;
}

void TextureHostMapping::Release() {
    if (!buffer_) return;
    if (!packed_.empty() && mode_ == 1) {
        for (int32_t y = 0; y < rows_; ++y)
            std::memcpy(mappedPlane_ + static_cast<size_t>(mappedPitch_) * y, packed_.data() + packedRowBytes_ * y,
                        packedRowBytes_);
    }
    texture_->Unmap(buffer_);
    buffer_ = nullptr;
    texture_.reset();
    packed_.clear();
    packed_.shrink_to_fit();
    mappedPlane_ = nullptr;
    frame_ = EffectFrame{};
}

}  // namespace orvex
