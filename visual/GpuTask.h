#pragma once
// One GPU operation of the visual-processing service: read the textures' shapes, fill the kernel
// arguments, allocate the output image format and hand everything to ProcessGPU_OpenCL.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gpu/GpuDispatch.h"
#include "orvex/EffectFrame.h"
#include "orvex/ResultCode.h"
#include "zrp/zrp.h"

namespace orvex {

// What the platform reports about a texture.
struct TextureInfo {
    zrp::ImageColorSpace colorSpace = zrp::kColorSpaceNone;
    zrp::BitFormat bits{};
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 0;
    int32_t pitch0 = 0;  // bytes per row of plane 0, low 29 bits
    bool sixteen() const { return bits.kind >= 4; }
    // Plane 0 row pitch in samples, as the buffer kernels index their planes.
    int32_t pitchSamples() const { return pitch0 / (sixteen() ? 2 : 1); }
};

// False when the texture is missing or cannot describe itself.
bool QueryTexture(const zrp::TexturePtr& texture, TextureInfo* info);

// The platform colour space a frame of fmt lives in on the GPU (kColorSpaceNone when none).
zrp::ImageColorSpace ColorSpaceOf(uint32_t fmt);
// True when the texture has the layout fmt needs: its colour space, and 16-bit samples exactly for
// the 16-bit formats (a kernel reading 16-bit samples from an 8-bit plane would overrun it).
bool TextureFits(const TextureInfo& info, uint32_t fmt);

// Allocates the output format (colour space and bits of `out`, size outWidth x outHeight) and
// runs the kernel; logs "ZRPImageFormatAlloc Failed!!" under tag when the format cannot be made.
ResultCode RunVisualKernel(const char* tag, const char* kernel, KernelArgs& args, const TextureInfo& out,
                           const std::vector<zrp::TexturePtr>& inputs, const std::vector<zrp::TexturePtr>& outputs,
                           const int32_t* gridWidth = nullptr, const int32_t* gridHeight = nullptr);

}  // namespace orvex
