#pragma once
// One factory over both backends: each call goes to the backend its platform name selects
// ("opencl" or "opengl"); a backend that is absent answers as a platform without a device.
#include <memory>

#include "zrp/zrp.h"

namespace zrp {

class PlatformFactory final : public ATLUFactory {
public:
    PlatformFactory(std::unique_ptr<ATLUFactory> opencl, std::unique_ptr<ATLUFactory> opengl)
        : opencl_(std::move(opencl)), opengl_(std::move(opengl)) {}

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

    ATLUFactory* opencl() const { return opencl_.get(); }
    ATLUFactory* opengl() const { return opengl_.get(); }

private:
    ATLUFactory* For(const char* platform) const;

    std::unique_ptr<ATLUFactory> opencl_;
    std::unique_ptr<ATLUFactory> opengl_;
};

}  // namespace zrp
