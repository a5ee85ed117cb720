#include "host/kit/kit.h"

#include <cstdlib>
#include <cstring>

#include "host/zrp/cl_backend.h"
#include "host/zrp/gl_backend.h"
#include "host/zrp/platform_factory.h"

namespace orvexhost {

orvex::EffectFramePtr WrapBGRA(uint8_t* data, int width, int height, int pitch, uint32_t pixelFormat) {
    auto f = std::make_shared<orvex::EffectFrame>();
    f->planes = 1;
    f->bitDepth = 8;
    f->pixel_fmt = pixelFormat;
    f->width[0] = static_cast<uint32_t>(width < 0 ? 0 : width);
    f->height[0] = static_cast<uint32_t>(height < 0 ? 0 : height);
    f->data[0] = data;
    f->pitch[0] = pitch;
    return f;
}

HostImage MakeHostImage(int width, int height, int pitch) {
    HostImage img;
    img.width = width < 0 ? 0 : width;
    img.height = height < 0 ? 0 : height;
    img.pitch = pitch >= img.width * 4 ? pitch : img.width * 4;
    img.pixels.assign(static_cast<size_t>(img.pitch) * img.height, 0);
    img.frame = WrapBGRA(img.pixels.data(), img.width, img.height, img.pitch);
    return img;
}

namespace {

bool HideFp64FromEnvironment() {
    const char* v = std::getenv("ORVEX_OPENCL_HIDE_FP64");
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

std::unique_ptr<zrp::ATLUFactory> MakeFactory(const KitOptions& options) {
    std::unique_ptr<zrp::ATLUFactory> cl;
    if (options.opencl) {
        if (zrp::CLDevicePtr device = zrp::OpenDefaultCLDevice(options.openclDevice, options.openclOnCpu))
            cl = std::make_unique<zrp::OpenCLFactory>(device, options.hideFp64 || HideFp64FromEnvironment());
    }
    std::unique_ptr<zrp::ATLUFactory> gl;
    if (options.opengl) {
        if (zrp::GLDevicePtr device = zrp::OpenDefaultGLDevice()) gl = std::make_unique<zrp::OpenGLFactory>(device);
    }
    // A single backend is handed out as itself; both go behind one factory.
    if (!gl) return cl;
    if (!cl) return gl;
    return std::make_unique<zrp::PlatformFactory>(std::move(cl), std::move(gl));
}

bool TextureFormatFor(uint32_t fmt, uint32_t bitDepth, zrp::ImageColorSpace* cs, zrp::BitFormat* bits) {
    const int32_t depth = bitDepth > 8 ? static_cast<int32_t>(bitDepth) : 16;
    const zrp::BitFormat sixteen{4, depth, depth};
    switch (fmt) {
    case orvex::BGRA32: case orvex::BGRA32_ALT: *cs = zrp::kColorSpaceBGRA; *bits = zrp::kBitFormat8; return true;
    case orvex::BGRA64: *cs = zrp::kColorSpaceBGRA; *bits = sixteen; return true;
    case orvex::NV12: *cs = zrp::kColorSpaceNV12; *bits = zrp::kBitFormat8; return true;
    case orvex::P010: *cs = zrp::kColorSpaceNV12; *bits = sixteen; return true;
    case orvex::YV12: *cs = zrp::kColorSpaceYV12; *bits = zrp::kBitFormat8; return true;
    case orvex::YV12P10: *cs = zrp::kColorSpaceYV12; *bits = sixteen; return true;
    case orvex::YUVA420: *cs = zrp::kColorSpaceYUVA; *bits = zrp::kBitFormat8; return true;
    case orvex::YUVAP10: *cs = zrp::kColorSpaceYUVA; *bits = sixteen; return true;
    case orvex::YUV422: *cs = zrp::kColorSpaceYUV422; *bits = zrp::kBitFormat8; return true;
    case orvex::YUV422_16: *cs = zrp::kColorSpaceYUV422; *bits = sixteen; return true;
    case orvex::YUVA422: *cs = zrp::kColorSpaceYUVA422; *bits = zrp::kBitFormat8; return true;
    case orvex::YUVA422_16: *cs = zrp::kColorSpaceYUVA422; *bits = sixteen; return true;
    default: return false;
    }
}

zrp::TexturePtr CreateTextureLike(zrp::ATLUFactory& factory, const orvex::EffectFrame& frame, const char* platform) {
    zrp::ImageColorSpace cs;
    zrp::BitFormat bits;
    if (!TextureFormatFor(frame.pixel_fmt, frame.bitDepth, &cs, &bits)) return nullptr;
    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(cs, bits, static_cast<int>(frame.width[0]), static_cast<int>(frame.height[0]), 0,
                            &format) != 0)
        return nullptr;
    zrp::TexturePtr texture;
    const bool gl = platform && std::strcmp(platform, "opengl") == 0;
    factory.CreateTexture(&texture, format, gl ? "opengl" : "opencl", gl ? zrp::kTextureKindOpenGL : zrp::kTextureKindOpenCL,
                          nullptr, nullptr,
                          static_cast<int32_t>(frame.pixel_fmt), 0);
    ZRPObjectFree(format);
    return texture;
}

zrp::TexturePtr UploadFrame(zrp::ATLUFactory& factory, const orvex::EffectFrame& frame, const char* platform) {
    zrp::TexturePtr texture = CreateTextureLike(factory, frame, platform);
    if (!texture || !UploadInto(*texture, frame)) return nullptr;
    return texture;
}

bool UploadInto(zrp::Texture& texture, const orvex::EffectFrame& frame) {
    zrp::MappedBuffer* m = texture.Map(1);
    if (!m) return false;
    bool ok = true;
    for (int32_t i = 0; i < m->GetPlaneCount() && ok; ++i) {
        zrp::MappedPlane p = m->GetPlane(i);
        const size_t rowBytes = static_cast<size_t>(p.pitch);
        ok = i < 4 && frame.data[i] && frame.pitch[i] >= p.pitch && frame.height[i] >= static_cast<uint32_t>(p.height);
        for (int32_t y = 0; ok && y < p.height; ++y)
            std::memcpy(p.data + rowBytes * y, frame.data[i] + static_cast<size_t>(frame.pitch[i]) * y, rowBytes);
    }
    ok = texture.Unmap(m) == 0 && ok;
    return ok;
}

bool DownloadFrame(zrp::Texture& texture, orvex::EffectFrame& frame) {
    zrp::MappedBuffer* m = texture.Map(0);
    if (!m) return false;
    bool ok = true;
    for (int32_t i = 0; i < m->GetPlaneCount() && ok; ++i) {
        zrp::MappedPlane p = m->GetPlane(i);
        const size_t rowBytes = static_cast<size_t>(p.pitch);
        ok = i < 4 && frame.data[i] && frame.pitch[i] >= p.pitch && frame.height[i] >= static_cast<uint32_t>(p.height);
        for (int32_t y = 0; ok && y < p.height; ++y)
            std::memcpy(frame.data[i] + static_cast<size_t>(frame.pitch[i]) * y, p.data + rowBytes * y, rowBytes);
    }
    texture.Unmap(m);
    return ok;
}

}  // namespace orvexhost
