#pragma once
// Process-wide GPU state and the dispatch through the platform library that every GPU path ends
// in: acquire a unit, schedule, wait without limit, finalise.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvex/EffectFrame.h"
#include "orvex/ResultCode.h"
#include "zrp/zrp.h"

namespace orvex {

// The algorithm-unit factory handed over by the host; null until SetATLUFactory. Not locked: the
// host configures from one thread.
extern zrp::ATLUFactory* g_atlu_factory;

// One kernel of a registered algorithm.
struct GPUKernelDesc {
    const char* name = nullptr;
    zrp::ImageColorSpace inColorSpace = zrp::kColorSpaceNone;
    zrp::BitFormat inBits = zrp::kBitFormat8;
    zrp::ImageColorSpace outColorSpace = zrp::kColorSpaceBGRA;
    zrp::BitFormat outBits = zrp::kBitFormat8;
};

// One GPU algorithm: its program source, language and kernels, and whether the factory has it
// (0 not yet, 1 registered, 2 failed; a failure is not retried with the same factory). A factory
// handed over later starts again from 0: the state is the one of `registeredWith`.
struct GPUKernelData {
    std::string source;
    int32_t platform = OpenCL;
    std::vector<GPUKernelDesc> kernels;
    int32_t state = 0;
    zrp::ATLUFactory* registeredWith = nullptr;
    std::mutex registering;  // one registration at a time per algorithm
};
using GPUKernelDataPtr = std::shared_ptr<GPUKernelData>;
using AlgorithmMap = std::map<std::string, GPUKernelDataPtr>;

// Inserts every algorithm of map; names already present keep their entry.
void AddAlgorithms(const AlgorithmMap& map);
// 0 when the named algorithm is registered with the factory (registering it on first use);
// 1 when the registry lacks the name or its registration failed.
int EnsureAlgorithmRegistered(const std::string& name);
bool IsProgramRegistered(GPUPlatform platform, const char* key);
bool RegisterProgramSource(const std::string& source, const char* key, GPUPlatform platform,
                           zrp::ImageColorSpace inColorSpace, zrp::ImageColorSpace outColorSpace, int inBits1,
                           int inBits2, int outBits1, int outBits2);

// The kernel arguments of one dispatch, set by name in the order the kernel lists them.
class KernelArgs {
public:
    KernelArgs();
    ~KernelArgs();
    KernelArgs(const KernelArgs&) = delete;
    KernelArgs& operator=(const KernelArgs&) = delete;

    KernelArgs& Byte(const char* name, uint8_t v);
    KernelArgs& Int(const char* name, int32_t v);
    KernelArgs& Float(const char* name, float v);
    // Tables and matrices: the kernel takes them as a __constant or __global pointer.
    KernelArgs& Block(const char* name, const void* data, size_t bytes);
    zrp::Params* params() { return params_; }
    zrp::Params* get() { return params_; }
    bool ok() const { return params_ && ok_; }

private:
    zrp::Params* params_ = nullptr;
    bool ok_ = true;
};

// The dispatch used by effects: 0 on success, 1 on any failure (1 at once without a factory).
int DispatchEffectKernel(zrp::Params* params, const char* key, const std::vector<zrp::TexturePtr>& inputs,
                         const std::vector<zrp::TexturePtr>& outputs);

// The dispatch used by the visual-processing service: 0 on success, 1 on failure with its log
// line. Without inputs (a generator) the unit is acquired with a placeholder input format of
// colour space 0 and size 0 x 0; a grid, when given, replaces the output size as the region.
int ProcessGPU_OpenCL(zrp::Params* params, const char* kernel, const zrp::ImageFormat* outputFormat,
                      const std::vector<zrp::TexturePtr>& inputs, const std::vector<zrp::TexturePtr>& outputs,
                      const int32_t* gridWidth = nullptr, const int32_t* gridHeight = nullptr);
// The dispatch for the "opengl" platform; inputs and a non-OpenGL output are converted first.
int DispatchOpenGLProgram(zrp::Params* params, const char* key, const std::vector<zrp::TexturePtr>& inputs,
                          const std::vector<zrp::TexturePtr>& outputs);
// The texture itself when it already lives on `platform`, else a copy on `platform`.
zrp::TexturePtr ConvertTexturePlatform(const zrp::TexturePtr& texture, GPUPlatform platform);
// A texture on platform 1, 2 or 3 (empty for any other or without factory).
zrp::TexturePtr CreatePlatformTexture(const zrp::ImageFormat* format, GPUPlatform platform, uint8_t* const* planes,
                                      const int32_t* pitches, int32_t pixelFormat, int32_t reserved);
// An OpenGL texture over a host frame (empty without factory).
zrp::TexturePtr CreateTextureForFrame(const EffectFrame& frame);
// The platform a texture lives on, from its context kind (None when unknown).
GPUPlatform TexturePlatform(zrp::Texture& texture);

// A GPU texture mapped into host memory as an EffectFrame; released (written back for mode 1 and
// unmapped) by Release or the destructor.
class TextureHostMapping {
public:
    TextureHostMapping() = default;
    ~TextureHostMapping() { Release(); }
    TextureHostMapping(const TextureHostMapping&) = delete;
    TextureHostMapping& operator=(const TextureHostMapping&) = delete;

    // mode 0 maps for reading, 1 for writing; repack gives BGRA rows a tight pitch.
    bool Map(const zrp::TexturePtr& texture, int mode, bool repack);
    void Release();
    EffectFrame& frame() { return frame_; }

private:
    zrp::TexturePtr texture_;
    zrp::MappedBuffer* buffer_ = nullptr;
    EffectFrame frame_;
    int mode_ = 0;
    std::vector<uint8_t> packed_;
    size_t packedRowBytes_ = 0;
    uint8_t* mappedPlane_ = nullptr;
    int32_t mappedPitch_ = 0;
    int32_t rows_ = 0;
};

}  // namespace orvex
