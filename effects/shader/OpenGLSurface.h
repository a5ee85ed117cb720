#pragma once
// Effects made of fragment-shader passes described in the resource tree.
//
//   passes:  P1(inputs) -> T, P2(T, inputs...) -> T, ...   at the working size s*W x s*H,
//            s = cap / min(W, H) when min(W, H) > cap (320, 480, 720 for low, medium, high)
//   blend:   out = blend(background, T)  (the built-in shader or the description's own)
//
// Every parameter the host sets reaches every pass as a uniform of its name; textures reach the
// samplers named after them ("background_tex", "mask_tex", "gradient_color_tex", ...). Uniforms
// always sent: "iResolution" (size drawn), "time_second", "mask_left_right", "mask_bottom_top".
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "effects/EffectSurface.h"

namespace orvex {

// One shader program: where it lies, the key it is registered under, and the parameters to send.
struct GLProgramEntry {
    std::string path;
    std::string key;  // path with every '/' replaced by '_'
    std::map<std::string, std::pair<EffectParamType, EffectParamValue>> pending;
    std::mutex lock;  // guards `pending`: the host may set parameters while a frame renders

    void SetPath(const std::string& p);
};

using NamedTexture = std::pair<std::string, zrp::TexturePtr>;
using NamedTextures = std::vector<NamedTexture>;

// An OpenGL texture kept across frames: recreated only when the size or format changes, refilled
// from host pixels or from a texture of another platform.
class GLTextureSlot {
public:
    zrp::TexturePtr Sized(int32_t width, int32_t height, zrp::BitFormat bits = zrp::kBitFormat8);
    // The frame's own texture when it is an OpenGL one, else this slot holding its pixels.
    zrp::TexturePtr FromFrame(const EffectFrame& frame);
    // This slot holding `rows` x `width` texels of host memory (pitch in bytes).
    zrp::TexturePtr FromHost(const uint8_t* data, int32_t pitch, int32_t width, int32_t rows, zrp::BitFormat bits);
    void Reset() { texture_.reset(); }

private:
    zrp::TexturePtr texture_;
    int32_t width_ = 0, height_ = 0;
    zrp::BitFormat bits_{};
};

// Frames per second as the shaders use it: numerator / denominator in integers. A rate that is
// unset or invalid counts as 30 fps and one below 1 fps as 1 fps, so nothing divides by zero.
int64_t IntegerFrameRate(int64_t numerator, int64_t denominator);

class VideoEffectOpenGLSurface : public EffectSurface {
public:
    VideoEffectOpenGLSurface();
    ~VideoEffectOpenGLSurface() override;

    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    ResultCode Render(void* reserved1, int64_t position, void* reserved2, const std::vector<EffectFramePtr>& inputs,
                      EffectFramePtr& output) override;
    void SetDescription(EffectDescription description) override;
    ResultCode SetProgramLoader(ProgramLoader loader) override;
    // The shader chains with a CPU transcription (light_leak) render here without OpenGL; any
    // other chain has no CPU body (result 1).
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    virtual ResultCode SetPassParam(GLProgramEntry& entry, const char* name, EffectParamType type,
                                    const EffectParamValue& value);
    virtual ResultCode RunPasses(int64_t position, NamedTextures& inputs, const zrp::TexturePtr& output);
    virtual void CollectInputs(NamedTextures& out, int64_t position, const std::vector<EffectFramePtr>& inputs);
    virtual ResultCode ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry);
    virtual int32_t RequiredInputCount();

    // Runs with the frame position at the start of every frame (animation of parameters).
    using FrameUpdater = std::function<void(int64_t)>;
    void AddFrameUpdater(std::shared_ptr<FrameUpdater> updater) { updaters_.push_back(std::move(updater)); }

    const std::vector<std::unique_ptr<GLProgramEntry>>& PassEntries() const { return passes_; }
    GLProgramEntry& BlendEntry() { return blend_; }
    const cv::Mat& GradientImage() const { return gradient_; }
    int32_t WorkingWidth() const { return workingWidth_; }
    int32_t WorkingHeight() const { return workingHeight_; }
    // The working size for an output of width x height under the description's quality.
    void WorkingSize(int32_t width, int32_t height, int32_t* workingWidth, int32_t* workingHeight) const;

    static const char* BuiltinBlendShader();

protected:
    float TimeSecond(int64_t position) const;
    // Adds the sampler uniforms (input i on texture unit i) and the uniforms of every pass.
    ResultCode DispatchPass(GLProgramEntry& entry, zrp::Params* params, const NamedTextures& inputs,
                            const zrp::TexturePtr& output);
    // Allocates a parameter set with the uniforms every pass gets; null on failure.
    zrp::Params* PassParams(int64_t position, const zrp::TexturePtr& output);
    // The mask ranges of the last frame.
    float maskLeftRight_[2] = {0, 0};
    float maskBottomTop_[2] = {0, 0};

private:
    ResultCode ParseGradient(const std::string& text);
    ResultCode LightLeakCPU(int64_t position, EffectFrame* input, EffectFrame* output);
    bool FindMaskBox(const cv::Mat& mask);

    std::vector<std::unique_ptr<GLProgramEntry>> passes_;
    GLProgramEntry blend_;
    NamedTextures inputNames_;
    std::vector<std::shared_ptr<FrameUpdater>> updaters_;
    cv::Mat gradient_;  // 1 row of BGRA texels
    bool gradientDirty_ = false;
    GLTextureSlot backgroundSlot_, gradientSlot_, workingSlot_, outputSlot_;
    int32_t workingWidth_ = 0;
    int32_t workingHeight_ = 0;
    int32_t startFrame_ = 0;
    cv::Mat cpuWorking_;  // the CPU pass's working picture, kept across frames of one size
};

// Two passes around an anchor: the first renders into a texture of its own ("whirlwind_tex"),
// which the second reads beside the inputs.
class VideoEffectWhirlWind : public VideoEffectOpenGLSurface {
public:
    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    ResultCode RunPasses(int64_t position, NamedTextures& inputs, const zrp::TexturePtr& output) override;
    ResultCode ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry) override;

private:
    float anchor_[2] = {0.5f, 0.5f};
    GLTextureSlot firstPass_;
};

// Reads a frame's first plane as host pixels: the frame's memory, or its texture mapped for reading.
class FramePixels {
public:
    bool Read(const EffectFrame& frame);
    const cv::Mat& image() const { return image_; }

private:
    TextureHostMapping mapping_;
    cv::Mat image_;
};

}  // namespace orvex
