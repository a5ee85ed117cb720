#include "host/zrp/platform_factory.h"

#include <cstring>

namespace zrp {

ATLUFactory* PlatformFactory::For(const char* platform) const {
    if (!platform) return nullptr;
    if (std::strcmp(platform, "opencl") == 0) return opencl_.get();
    if (std::strcmp(platform, "opengl") == 0) return opengl_.get();
    return nullptr;
}

ResultCode PlatformFactory::IsAlgorithmRegistered(const char* platform, const char* key) {
    ATLUFactory* f = For(platform);
    return f ? f->IsAlgorithmRegistered(platform, key) : 1;
}

ResultCode PlatformFactory::RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                                            const PixelFormat* input, const PixelFormat* output,
                                            const std::vector<std::string>& kernelNames) {
    ATLUFactory* f = For(platform);
    return f ? f->RegisterProgram(platform, key, source, length, input, output, kernelNames) : 1;
}

ResultCode PlatformFactory::RegisterAlgorithm(const char* platform, const char* firstKernel, const char* source,
                                              size_t length, const std::vector<AlgorithmUnit*>& units) {
    ATLUFactory* f = For(platform);
    return f ? f->RegisterAlgorithm(platform, firstKernel, source, length, units) : 1;
}

DeviceContext* PlatformFactory::GetDeviceContext(const char* platform) {
    ATLUFactory* f = For(platform);
    return f ? f->GetDeviceContext(platform) : nullptr;
}

ResultCode PlatformFactory::CreateTexture(TexturePtr* texture, const ImageFormat* format, const char* platform,
                                          int32_t kind, uint8_t* const* planes, const int32_t* pitches,
                                          int32_t pixelFormat, int32_t reserved) {
    if (texture) texture->reset();
    ATLUFactory* f = For(platform);
    return f ? f->CreateTexture(texture, format, platform, kind, planes, pitches, pixelFormat, reserved) : 1;
}

ResultCode PlatformFactory::ATLUAcquire(AlgorithmUnitPtr* unit, const ImageFormat* input, const ImageFormat* output,
                                        const char* key, const char* platform) {
    if (unit) unit->reset();
    ATLUFactory* f = For(platform);
    return f ? f->ATLUAcquire(unit, input, output, key, platform) : 1;
}

}  // namespace zrp
