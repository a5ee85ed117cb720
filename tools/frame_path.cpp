#include "frame_path.h"

#include <cstdio>
#include <cstring>

#include "host/kit/kit.h"
#include "orvex/orvex.h"

namespace orvexcli {

namespace {

orvex::EffectFrame BgraFrame(uint8_t* data, int w, int h) {
    orvex::EffectFrame f;
    f.planes = 1;
    f.pixel_fmt = orvex::BGRA32;
    f.width[0] = static_cast<uint32_t>(w);
    f.height[0] = static_cast<uint32_t>(h);
    f.pitch[0] = w * 4;
    f.data[0] = data;
    return f;
}

}  // namespace

FramePath::~FramePath() {
    if (vp_) ReleaseVisualProcess(vp_);
}

bool FramePath::Open(RenderSession& session, int width, int height, const ColorSpace::pl_color_repr& inRepr,
                     const ColorSpace::pl_color_space& inSpace, const ColorSpace::pl_color_repr& outRepr,
                     const ColorSpace::pl_color_space& outSpace, std::string* error) {
    session_ = &session;
    width_ = width;
    height_ = height;
    inRepr_ = inRepr;
    inSpace_ = inSpace;
    outRepr_ = outRepr;
    outSpace_ = outSpace;
    vp_ = CreateVisualProcess();
    if (!vp_) {
        *error = "cannot create the visual-processing object";
        return false;
    }
    zrp::ATLUFactory* factory = session.factory();
    gpu_ = factory && factory->GetDeviceContext("opencl");
    none_.pixel_fmt = orvex::BGRA32;
    if (gpu_) {
        if (vp_->SetATLUFactory(factory) != orvex::Ok) {
            *error = "the conversions cannot use the OpenCL device";
            return false;
        }
        texIn_ = BgraFrame(nullptr, width, height);
        texOut_ = texIn_;
        const orvex::EffectFrame shape = BgraFrame(nullptr, width, height);
        texIn_.texture = orvexhost::CreateTextureLike(*factory, shape, "opencl");
        texOut_.texture = orvexhost::CreateTextureLike(*factory, shape, "opencl");
        if (!texIn_.texture || !texOut_.texture) {
            *error = "cannot create OpenCL textures for the frames";
            return false;
        }
        return true;
    }
    bgraIn_.assign(static_cast<size_t>(width) * height * 4, 0);
    bgraOut_.assign(bgraIn_.size(), 0);
    hostIn_ = BgraFrame(bgraIn_.data(), width, height);
    hostOut_ = BgraFrame(bgraOut_.data(), width, height);
    return true;
}

zrp::TexturePtr& FramePath::TextureFor(zrp::TexturePtr& slot, const orvex::EffectFrame& shape) {
    if (!slot) slot = orvexhost::CreateTextureLike(*session_->factory(), shape, "opencl");
    return slot;
}

int FramePath::ConvertStep(const orvex::EffectFrame& in, orvex::EffectFrame& out, bool decode, int64_t frame) {
    const orvex::ResultCode r = decode ? vp_->Convert(inRepr_, inSpace_, in, none_, out, 1, 1)
                                       : vp_->Convert(outRepr_, outSpace_, in, none_, out, 1, 1);
    if (r == orvex::Ok) return kOk;
    std::fprintf(stderr, "orvex: Convert %s failed on frame %lld (result %d)\n",
                 decode ? "from the decoded YUV" : "to the encoder's YUV", static_cast<long long>(frame),
                 static_cast<int>(r));
    return kRender;
}

int FramePath::Render(const orvex::EffectFrame& in, orvex::EffectFrame& out, int64_t frame,
                      const std::shared_ptr<orvex::EffectAudioFrame>& audio) {
    const bool yuvIn = !orvex::IsBGRA8(in.pixel_fmt), yuvOut = !orvex::IsBGRA8(out.pixel_fmt);
    if (!gpu_) {
        if (yuvIn)
            if (int rc = ConvertStep(in, hostIn_, true, frame); rc != kOk) return rc;
        const orvex::EffectFrame& picture = yuvIn ? hostIn_ : in;
        // A BGRA target takes the render directly.
        orvex::EffectFrame& rendered = yuvOut ? hostOut_ : out;
        if (int rc = session_->RenderHost(picture, rendered, frame, audio); rc != kOk) return rc;
        return yuvOut ? ConvertStep(hostOut_, out, false, frame) : kOk;
    }
    // One upload of the decoded planes, one download of the encoder's planes.
    orvex::EffectFrame source = in;
    source.texture = yuvIn ? TextureFor(yuvInTexture_, in) : texIn_.texture;
    if (!source.texture || !orvexhost::UploadInto(*source.texture, in)) {
        std::fprintf(stderr, "orvex: cannot upload frame %lld to the OpenCL device\n", static_cast<long long>(frame));
        return kRender;
    }
    if (yuvIn)
        if (int rc = ConvertStep(source, texIn_, true, frame); rc != kOk) return rc;
    if (int rc = session_->RenderTextures(texIn_, texOut_, frame, audio); rc != kOk) return rc;
    orvex::EffectFrame target = out;
    target.texture = yuvOut ? TextureFor(yuvOutTexture_, out) : texOut_.texture;
    if (!target.texture) {
        std::fprintf(stderr, "orvex: cannot create an OpenCL texture for the encoder's frames\n");
        return kRender;
    }
    if (yuvOut)
        if (int rc = ConvertStep(texOut_, target, false, frame); rc != kOk) return rc;
    if (!orvexhost::DownloadFrame(*target.texture, out)) {
        std::fprintf(stderr, "orvex: cannot read frame %lld back from the OpenCL device\n",
                     static_cast<long long>(frame));
        return kRender;
    }
    return kOk;
}

}  // namespace orvexcli
