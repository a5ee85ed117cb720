#include "visual/GpuTask.h"

#include "corelog.h"
#include "gpu/GpuDispatch.h"

namespace orvex {

bool QueryTexture(const zrp::TexturePtr& texture, TextureInfo* info) {
    if (!texture || !info) return false;
    zrp::TextureContext* ctx = texture->GetContext();
    if (!ctx) return false;
    zrp::ImageFormat* format = nullptr;
    if (ctx->GetImageFormat(&format) != 0 || !format) {
        if (format) ZRPObjectFree(format);
        return false;
    }
    info->colorSpace = format->GetColorSpace();
    info->bits = format->GetBitFormat();
    ZRPObjectFree(format);
    info->width = ctx->GetWidth();
    info->height = ctx->GetHeight();
    info->planes = ctx->GetPlaneCount();
    // The platform keeps flags above bit 28 of an image's row pitch.
    info->pitch0 = ctx->GetPitch(0) & 0x1FFFFFFF;
    return info->width > 0 && info->height > 0;
}

zrp::ImageColorSpace ColorSpaceOf(uint32_t fmt) {
    switch (fmt) {
    case BGRA32: case BGRA32_ALT: case BGRA64: return zrp::kColorSpaceBGRA;
    case NV12: case P010: return zrp::kColorSpaceNV12;
    case YV12: case YV12P10: return zrp::kColorSpaceYV12;
    case YUVA420: case YUVAP10: return zrp::kColorSpaceYUVA;
    case YUV422: case YUV422_16: return zrp::kColorSpaceYUV422;
    case YUVA422: case YUVA422_16: return zrp::kColorSpaceYUVA422;
    default: return zrp::kColorSpaceNone;
    }
}

bool TextureFits(const TextureInfo& info, uint32_t fmt) {
    const bool sixteen = fmt == BGRA64 || fmt == P010 || fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 ||
                         fmt == YUVA422_16;
    const zrp::ImageColorSpace cs = ColorSpaceOf(fmt);
    // Images convert any depth on read and write; only the buffer planes depend on it.
    if (cs == zrp::kColorSpaceBGRA) return info.colorSpace == cs;
    return cs != zrp::kColorSpaceNone && info.colorSpace == cs && info.sixteen() == sixteen;
}

ResultCode RunVisualKernel(const char* tag, const char* kernel, KernelArgs& args, const TextureInfo& out,
                           const std::vector<zrp::TexturePtr>& inputs, const std::vector<zrp::TexturePtr>& outputs,
                           const int32_t* gridWidth, const int32_t* gridHeight) {
    if (!args.ok()) return Failed;
    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(out.colorSpace, out.bits, out.width, out.height, 0, &format) != 0 || !format) {
        ORVEX_LOG(4, tag, "ZRPImageFormatAlloc Failed!!");
        return Failed;
    }
    const int r = ProcessGPU_OpenCL(args.get(), kernel, format, inputs, outputs, gridWidth, gridHeight);
    ZRPObjectFree(format);
    return r == 0 ? Ok : Failed;
}

}  // namespace orvex
