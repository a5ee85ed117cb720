#pragma once
// One video frame's way through the library: the decoded YUV frame through Convert to BGRA, the
// effect, and Convert back to the encoder's YUV, on the render's device. On OpenCL the frame
// goes up once as YUV, stays in textures, and comes down once as YUV.
#include <memory>
#include <string>

#include "colorspace.h"
#include "orvex/IVisualProcess.h"
#include "render_session.h"

namespace orvexcli {

class FramePath {
public:
    FramePath() = default;
    ~FramePath();
    FramePath(const FramePath&) = delete;
    FramePath& operator=(const FramePath&) = delete;

    // Binds to a session's device for frames of one size. Colour descriptions are those of the
    // decoded and the encoded stream. False with *error on failure.
    bool Open(RenderSession& session, int width, int height, const ColorSpace::pl_color_repr& inRepr,
              const ColorSpace::pl_color_space& inSpace, const ColorSpace::pl_color_repr& outRepr,
              const ColorSpace::pl_color_space& outSpace, std::string* error);
    // True when Convert runs on OpenCL textures.
    bool gpu() const { return gpu_; }
    // `in` is a library YUV frame or 8-bit BGRA; `out` likewise. An exit code, having printed why.
    int Render(const orvex::EffectFrame& in, orvex::EffectFrame& out, int64_t frame,
               const std::shared_ptr<orvex::EffectAudioFrame>& audio);

private:
    int ConvertStep(const orvex::EffectFrame& in, orvex::EffectFrame& out, bool decode, int64_t frame);
    zrp::TexturePtr& TextureFor(zrp::TexturePtr& slot, const orvex::EffectFrame& shape);

    RenderSession* session_ = nullptr;
    orvex::IVisualProcess* vp_ = nullptr;
    bool gpu_ = false;
    int width_ = 0, height_ = 0;
    ColorSpace::pl_color_repr inRepr_{}, outRepr_{};
    ColorSpace::pl_color_space inSpace_{}, outSpace_{};
    // Made once: host BGRA pictures for the CPU path, textures for the GPU path.
    std::vector<uint8_t> bgraIn_, bgraOut_;
    orvex::EffectFrame hostIn_, hostOut_, texIn_, texOut_, none_;
    zrp::TexturePtr yuvInTexture_, yuvOutTexture_;
};

}  // namespace orvexcli
