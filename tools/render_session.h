#pragma once
// One effect bound to a lab and a device, rendering picture after picture: the host loop shared
// by `orvex render` (pictures and videos) and `orvex demo`. Textures are made once and reused.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "cli_common.h"
#include "zrp/zrp.h"

namespace orvexcli {

// A parameter's values by frame: one key without a frame is a constant; numeric values between
// keys are interpolated linearly, the others hold the last key reached.
struct ParamTrack {
    std::string name;
    struct Key {
        int64_t frame = 0;
        std::string text;
        orvex::EffectParamValue value;
    };
    std::vector<Key> keys;  // sorted by frame
};

// Parses "--param" text: NAME=VALUE or NAME=VALUE@FRAME, merged into tracks by name. False with
// a message when the text is malformed.
bool AddParamText(const std::string& text, std::vector<ParamTrack>* tracks, std::string* error);

class RenderSession {
public:
    RenderSession() = default;
    ~RenderSession();
    RenderSession(const RenderSession&) = delete;
    RenderSession& operator=(const RenderSession&) = delete;

    // device: "best" (OpenCL when present, else the CPU), "cpu", "opencl" or "opengl". Returns an
    // exit code, having printed why on failure.
    int Open(const std::string& effect, const std::string& device, const std::string& resources);
    // Opens the effect on a factory the caller made and may share with other sessions (null: the
    // CPU). A process has one factory at a time: the library keeps the last one it was given.
    int OpenOn(const std::string& effect, std::shared_ptr<zrp::ATLUFactory> factory, const std::string& resources);
    // Makes the effect again on another factory (null: the CPU); its parameters start afresh.
    int Reopen(std::shared_ptr<zrp::ATLUFactory> factory);
    // Checks every track's name and values against the effect's parameters; an exit code.
    int SetTracks(std::vector<ParamTrack> tracks);
    // The timeline's frame rate, for effects that animate with time.
    void SetFrameRate(int64_t numerator, int64_t denominator);
    // Applies the tracks at a frame position and renders `in` into `out` (8-bit BGRA, out sized
    // like in); audio, when given, rides on a second input frame for the audio effects. An exit
    // code, having printed why on failure.
    int Render(const cv::Mat& in, cv::Mat& out, int64_t frame,
               const std::shared_ptr<orvex::EffectAudioFrame>& audio = nullptr);
    // The same on host BGRA frames of the same size, through the session's textures when it has a
    // GPU factory.
    int RenderHost(const orvex::EffectFrame& in, orvex::EffectFrame& out, int64_t frame,
                   const std::shared_ptr<orvex::EffectAudioFrame>& audio = nullptr);
    // Whether RenderHost starts the host output as a copy of the input (the default). A host that
    // wants its output untouched when a render fails turns it off.
    void SetSeedOutput(bool seed) { seedOutput_ = seed; }
    // The same on BGRA textures of texturePlatform(): the frames stay on the device.
    int RenderTextures(const orvex::EffectFrame& in, const orvex::EffectFrame& out, int64_t frame,
                       const std::shared_ptr<orvex::EffectAudioFrame>& audio = nullptr);

    // The library's result of the last render: Ok, the effect's code, or Failed when the frames
    // could not be moved to or from the GPU.
    orvex::ResultCode lastResult() const { return lastResult_; }
    // The GPU factory of the render; null on the CPU.
    zrp::ATLUFactory* factory() const { return factory_.get(); }
    const char* texturePlatform() const;
    // "CPU", "OpenCL" or "OpenGL": where the effect runs (the CPU once the device refused it).
    std::string deviceName() const;
    const std::string& effectName() const { return effectName_; }
    orvex::IOrvex* lab() const { return lab_.lab; }
    orvex::IOrvexEffect* effect() const { return effect_; }
    // A shader effect: it takes any parameter name and renders on OpenGL.
    bool shader() const { return shader_; }
    // The parameter table of a built-in effect; null for effects without one.
    orvex::EffectSurface* surface() const { return surface_; }

private:
    // Binds the lab to the factory (null: the CPU) and makes the effect named effectName_.
    bool Create(std::shared_ptr<zrp::ATLUFactory> factory);
    int ApplyTracks(int64_t frame);
    int RenderFrames(const orvex::EffectFramePtr& in, orvex::EffectFramePtr out, int64_t frame,
                     const std::shared_ptr<orvex::EffectAudioFrame>& audio);
    const orvex::ParamDecl* FindDecl(const std::string& name) const;

    // The factory outlives the lab that points at it: declared first, destroyed last.
    std::shared_ptr<zrp::ATLUFactory> factory_;
    Lab lab_;
    orvex::IOrvexEffect* effect_ = nullptr;
    orvex::EffectSurface* surface_ = nullptr;
    // Shader effects take any parameter name: the value's form gives its type.
    bool shader_ = false;
    bool seedOutput_ = true;
    orvex::ResultCode lastResult_ = orvex::Ok;
    std::string effectName_;
    std::vector<ParamTrack> tracks_;
    // Reused across frames of the same size.
    zrp::TexturePtr inTexture_, outTexture_;
    int textureW_ = 0, textureH_ = 0;
    // Set once the OpenCL device refused the effect (a program that did not build, a kernel it
    // could not run): the library rendered that frame on the CPU, and so do the frames after it.
    bool deviceRefused_ = false;
};

}  // namespace orvexcli
