#pragma once
// A GPU platform in host memory for tests of the dispatch and of the GPU branch of rendering:
// textures are pictures with a settable row padding, the factory answers what a test tells it.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "host/zrp/objects.h"
#include "zrp/zrp.h"

namespace orvextest {

class FakeMapped final : public zrp::MappedBuffer {
public:
    zrp::MappedPlane plane;
    int32_t layout = 1;
    int32_t GetPlaneCount() const override { return 1; }
    zrp::MappedPlane GetPlane(int32_t) const override { return plane; }
    int32_t GetLayout() const override { return layout; }
};

// A BGRA texture whose rows carry `padBytes` extra bytes.
class FakeTexture final : public zrp::Texture, public zrp::TextureContext {
public:
    FakeTexture(int w, int h, int padBytes = 0) : storage(h, w * 4 + padBytes, CV_8UC1, cv::Scalar(0)) {
        pixels = storage.colRange(0, w * 4).reshape(4);
    }
    zrp::TextureContext* GetContext() override { return this; }
    zrp::MappedBuffer* Map(int32_t mode) override {
        if (failMap) return nullptr;
        mapped.plane = {storage.data, static_cast<int32_t>(storage.step[0]), pixels.cols, pixels.rows};
        mapped.layout = storage.cols != pixels.cols * 4 ? 2 : 1;
        lastMode = mode;
        ++maps;
        return &mapped;
    }
    zrp::ResultCode Unmap(zrp::MappedBuffer*) override {
        ++unmaps;
        return 0;
    }
    zrp::ResultCode CopyFrom(zrp::Texture&) override { return 1; }
    int32_t GetKind() const override { return zrp::kTextureKindOpenCL; }
    zrp::ResultCode GetImageFormat(zrp::ImageFormat** format) const override {
        return ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, pixels.cols, pixels.rows, 0, format);
    }
    int32_t GetWidth() const override { return pixels.cols; }
    int32_t GetHeight() const override { return pixels.rows; }
    int32_t GetPlaneCount() const override { return 1; }
    int32_t GetPitch(int32_t) const override { return static_cast<int32_t>(storage.step[0]); }

    cv::Mat storage;
    cv::Mat pixels;  // CV_8UC4 view of storage
    FakeMapped mapped;
    bool failMap = false;
    int maps = 0, unmaps = 0, lastMode = -1;
};

struct FakeDeviceContext final : zrp::DeviceContext {
    int32_t type;
    explicit FakeDeviceContext(int32_t t) : type(t) {}
    int32_t GetType() const override { return type; }
};

// A factory with optional devices that records what is registered with it.
class FakeFactory final : public zrp::ATLUFactory {
public:
    bool hasOpenCL = false;
    bool hasOpenGL = false;
    std::map<std::string, std::string> programs;  // "platform/key" -> source
    int registerCalls = 0;
    int registerAlgorithmCalls = 0;
    zrp::ResultCode registerAlgorithmResult = 0;

    zrp::ResultCode IsAlgorithmRegistered(const char* platform, const char* key) override {
        return programs.count(std::string(platform) + "/" + key) ? 0 : 1;
    }
    zrp::ResultCode RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                                    const zrp::PixelFormat*, const zrp::PixelFormat*,
                                    const std::vector<std::string>&) override {
        ++registerCalls;
        programs[std::string(platform) + "/" + key] = std::string(source, length);
        return 0;
    }
    zrp::ResultCode RegisterAlgorithm(const char*, const char*, const char*, size_t,
                                      const std::vector<zrp::AlgorithmUnit*>&) override {
        ++registerAlgorithmCalls;
        return registerAlgorithmResult;
    }
    zrp::DeviceContext* GetDeviceContext(const char* platform) override {
        if (hasOpenCL && std::strcmp(platform, "opencl") == 0) return &cl_;
        if (hasOpenGL && std::strcmp(platform, "opengl") == 0) return &gl_;
        return nullptr;
    }
    zrp::ResultCode CreateTexture(zrp::TexturePtr*, const zrp::ImageFormat*, const char*, int32_t, uint8_t* const*,
                                  const int32_t*, int32_t, int32_t) override {
        return 1;
    }
    zrp::ResultCode ATLUAcquire(zrp::AlgorithmUnitPtr* unit, const zrp::ImageFormat*, const zrp::ImageFormat*,
                                const char*, const char*) override {
        if (unit) unit->reset();
        return 1;
    }

private:
    FakeDeviceContext cl_{zrp::kDeviceOpenCL};
    FakeDeviceContext gl_{zrp::kDeviceOpenGL};
};

}  // namespace orvextest
