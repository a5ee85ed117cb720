#pragma once
// The GPU platform on OpenGL through EGL, headless: a surfaceless Mesa display where there is one
// (llvmpipe runs it on the CPU), else the default EGL display.
//
// Programs are GLSL fragment shaders linked with a fixed full-screen vertex stage; a pass draws
// one quad into the output texture through a framebuffer, so a shader works from gl_FragCoord
// (and the "iResolution" it is given). Shaders may be written for `#version 120` with
// GL_EXT_gpu_shader4.
//
// Binding a task: input texture i is bound to texture unit i (an input that is also the output
// is read from a copy, so a pass may read the picture it overwrites). Every active uniform whose
// name is a key of the parameter set takes that value, converted to the uniform's type (code 5
// and 13 integers, 9 floats, 14 two floats, 10 a 64-bit integer read as a number); a uniform the
// set does not name is reset to zero, so a sampler left alone reads unit 0 and no value leaks
// from an earlier task of the same program.
//
// Textures are of colour space 5 (BGRA): RGBA8 for 8-bit, RGBA16 for 16-bit and RGBA32F for
// kBitFormatFloat32. Host transfers use the BGRA byte order, so shaders read true R, G, B, A.
//
// The one GL context is made current around every call that touches GL, under the device lock,
// and whatever context the calling thread had current before is restored afterwards.
#include <EGL/egl.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zrp/zrp.h"

namespace zrp {

struct GLDevice;
using GLDevicePtr = std::shared_ptr<GLDevice>;

// Null (with a log line saying why) when no EGL display or OpenGL context can be made.
GLDevicePtr OpenDefaultGLDevice();

class GLTexture final : public Texture, public TextureContext {
public:
    static std::shared_ptr<GLTexture> Create(const GLDevicePtr& device, BitFormat bits, int32_t width,
                                             int32_t height);
    ~GLTexture() override;

    TextureContext* GetContext() override { return this; }
    MappedBuffer* Map(int32_t mode) override;
    ResultCode Unmap(MappedBuffer* buffer) override;
    ResultCode CopyFrom(Texture& source) override;

    int32_t GetKind() const override { return kTextureKindOpenGL; }
    ResultCode GetImageFormat(ImageFormat** format) const override;
    int32_t GetWidth() const override { return width_; }
    int32_t GetHeight() const override { return height_; }
    int32_t GetPlaneCount() const override { return 1; }
    int32_t GetPitch(int32_t plane) const override { return plane == 0 ? width_ * bytesPerPixel_ : 0; }

    // Host transfers of the whole picture; pitch in bytes (at least width x bytes per pixel).
    ResultCode Upload(const uint8_t* data, int32_t pitch);
    ResultCode Download(uint8_t* data, int32_t pitch);

    uint32_t id() const { return id_; }
    BitFormat bitFormat() const { return bits_; }
    int32_t bytesPerPixel() const { return bytesPerPixel_; }

private:
    GLTexture(GLDevicePtr device, BitFormat bits, int32_t w, int32_t h);
    GLDevicePtr device_;
    BitFormat bits_;
    int32_t width_, height_, bytesPerPixel_;
    uint32_t id_ = 0;
    std::mutex mapMutex_;
    std::vector<std::unique_ptr<MappedBuffer>> mapped_;
    std::vector<std::unique_ptr<MappedBuffer>> spare_;  // staging kept for the next Map
};

class OpenGLFactory final : public ATLUFactory {
public:
    explicit OpenGLFactory(GLDevicePtr device);
    ~OpenGLFactory() override;

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

    const GLDevicePtr& device() const { return device_; }

    // A linked program with its active uniforms (defined in the source).
    struct Program;

private:
    std::shared_ptr<Program> Build(const char* key, const char* source, size_t length);

    GLDevicePtr device_;
    std::unique_ptr<DeviceContext> context_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Program>> programs_;
};

}  // namespace zrp
