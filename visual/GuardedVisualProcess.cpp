#include "visual/GuardedVisualProcess.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "corelog.h"
#include "visual/FramePlanes.h"

namespace orvex {
namespace {

// Scalar arguments of one call, checked in order; the first bad one is logged under the
// operation's tag and makes the call InvalidArgument before any frame is touched.
class Args {
public:
    explicit Args(const char* tag) : tag_(tag) {}
    Args& Finite(const char* name, double v) {
        if (ok_ && !std::isfinite(v)) Fail(name, v, "is not a finite number");
        return *this;
    }
    Args& Finite(const char* name, fxPointd p) { return Finite(name, p.x).Finite(name, p.y); }
    Args& Finite(const char* name, fxRectf r) {
        return Finite(name, r.x).Finite(name, r.y).Finite(name, r.width).Finite(name, r.height);
    }
    // Written so that NaN falls outside.
    Args& Within(const char* name, double v, double lo, double hi) {
        if (ok_ && !(v >= lo && v <= hi)) Fail(name, v, "is outside its range");
        return *this;
    }
    bool ok() const { return ok_; }

private:
    void Fail(const char* name, double v, const char* why) {
        ORVEX_LOG(6, tag_, "invalid argument: %s %s (%g)", name, why, v);
        ok_ = false;
    }
    const char* tag_;
    bool ok_ = true;
};

struct Span {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
};

// The host bytes of each plane the routines may touch; none for a frame whose planes cannot be
// trusted (the routine refuses such a frame itself, and nothing here reads it).
int Spans(const GuardedVisualProcess::Extent& e, Span spans[4]) {
    const EffectFrame& f = *e.frame;
    if (e.bgrRowBytes > 0) {
        if (!f.data[0] || f.pitch[0] <= 0 || static_cast<size_t>(f.pitch[0]) < e.bgrRowBytes || e.bgrRows == 0)
            return 0;
        spans[0] = {f.data[0], f.data[0] + static_cast<size_t>(f.pitch[0]) * (e.bgrRows - 1) + e.bgrRowBytes};
        return 1;
    }
    FrameLayout layout;
    if (!LayoutOf(f, &layout) || !HostPlanesOk(f, layout)) return 0;
    for (int i = 0; i < layout.planes; ++i) {
        const PlaneGeometry& p = layout.plane[i];
        spans[i] = {f.data[i],
                    f.data[i] + static_cast<size_t>(f.pitch[i]) * static_cast<size_t>(p.height - 1) + p.rowBytes()};
    }
    return layout.planes;
}

// One call in place: the same planes at the same pitches, read as the same picture.
bool Identical(const EffectFrame& a, const EffectFrame& b) {
    if (a.pixel_fmt != b.pixel_fmt || a.width[0] != b.width[0] || a.height[0] != b.height[0] || a.planes != b.planes)
        return false;
    for (int i = 0; i < 4; ++i)
        if (a.data[i] != b.data[i] || (a.data[i] && a.pitch[i] != b.pitch[i])) return false;
    return true;
}

bool Overlaps(const Span* a, int na, const Span* b, int nb) {
    for (int i = 0; i < na; ++i)
        for (int j = 0; j < nb; ++j)
            if (a[i].begin < b[j].end && b[j].begin < a[i].end) return true;
    return false;
}

constexpr size_t kAlign = 64;

}  // namespace

const EffectFrame& GuardedVisualProcess::Apart(const Outermost& call, int slot, Extent in,
                                               std::initializer_list<Extent> outputs) {
    if (!call.outer_) return *in.frame;
    Span inSpans[4];
    const int n = Spans(in, inSpans);
    if (n == 0) return *in.frame;
    bool overlap = false;
    for (const Extent& out : outputs) {
        Span outSpans[4];
        const int m = Spans(out, outSpans);
        if (m > 0 && Overlaps(inSpans, n, outSpans, m) && !Identical(*in.frame, *out.frame)) overlap = true;
    }
    if (!overlap) return *in.frame;

    // Each plane keeps its offset within a 64-byte block, so a routine that checks alignment
    // judges the copy as it would judge the caller's plane.
    size_t total = 0;
    for (int i = 0; i < n; ++i) total += static_cast<size_t>(inSpans[i].end - inSpans[i].begin) + 2 * kAlign;
    std::vector<uint8_t>& scratch = scratch_[slot];
    if (scratch.size() < total) scratch.resize(total);  // kept: only a larger frame allocates
    EffectFrame& copy = copies_[slot];
    copy = *in.frame;
    uint8_t* base = scratch.data();
    size_t offset = 0;
    for (int i = 0; i < n; ++i) {
        const size_t misalign = reinterpret_cast<uintptr_t>(inSpans[i].begin) % kAlign;
        const size_t start = (reinterpret_cast<uintptr_t>(base + offset) + kAlign - 1) / kAlign * kAlign -
                             reinterpret_cast<uintptr_t>(base) + misalign;
        const size_t bytes = static_cast<size_t>(inSpans[i].end - inSpans[i].begin);
        std::memcpy(base + start, inSpans[i].begin, bytes);
        copy.data[i] = base + start;
        offset = start + bytes;
    }
    return copy;
}

// --- the slots ------------------------------------------------------------------------------------

ResultCode GuardedVisualProcess::Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space,
                                         const EffectFrame& in, EffectFrame& intermediate, EffectFrame& out,
                                         int32_t resizeType, int32_t quality, int32_t alphaMode) {
    if (!Args("orvex:Convert").Within("resize type", resizeType, 0, 4).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Convert(repr, space, Apart(call, 0, {&in}, {{&intermediate}, {&out}}), intermediate, out,
                                  resizeType, quality, alphaMode);
}

ResultCode GuardedVisualProcess::Resize(const EffectFrame& in, EffectFrame& out, int32_t resizeType,
                                        int32_t quality) {
    // Quality has a rule for every value (bilinear past the table); the resize type has none.
    if (!Args("orvex:Resize").Within("resize type", resizeType, 0, 4).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Resize(Apart(call, 0, {&in}, {{&out}}), out, resizeType, quality);
}

ResultCode GuardedVisualProcess::Blend(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                                       fxRectf backgroundRoi, EffectFrame& out, int32_t sampler, int32_t blendMode,
                                       double opacity, int32_t ovlAlphaPreMul) {
    if (!Args("orvex:Blend")
             .Finite("overlay_roi", overlayRoi)
             .Finite("background_roi", backgroundRoi)
             .Within("opacity", opacity, 0, 1)
             .ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Blend(Apart(call, 0, {&overlay}, {{&out}}), overlayRoi,
                                Apart(call, 1, {&background}, {{&out}}), backgroundRoi, out, sampler, blendMode,
                                opacity, ovlAlphaPreMul);
}

ResultCode GuardedVisualProcess::CenterPointAlignBlend(const EffectFrame& overlay, fxRectf overlayRect,
                                                       const EffectFrame& background, fxRectf backgroundPos,
                                                       bool backBlank, EffectFrame& out, int32_t blendMode,
                                                       float opacity, int32_t ovlAlphaPreMul, float offsetX,
                                                       float offsetY, bool useWarpAffine) {
    if (!Args("orvex:CenterPointAlignBlend")
             .Finite("overlay rectangle", overlayRect)
             .Finite("background position", backgroundPos)
             .Within("opacity", opacity, 0, 1)
             .Finite("offset x", offsetX)
             .Finite("offset y", offsetY)
             .ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::CenterPointAlignBlend(Apart(call, 0, {&overlay}, {{&out}}), overlayRect,
                                                Apart(call, 1, {&background}, {{&out}}), backgroundPos, backBlank, out,
                                                blendMode, opacity, ovlAlphaPreMul, offsetX, offsetY, useWarpAffine);
}

namespace {

// The geometry shared by the transform slots.
bool TransformArgsOk(const char* tag, fxPointd anchor, fxPointd centre, double theta, double scaleX, double scaleY,
                     double skewX, double skewY) {
    return Args(tag)
        .Finite("anchor", anchor)
        .Finite("background centre", centre)
        .Finite("theta", theta)
        .Finite("scale x", scaleX)
        .Finite("scale y", scaleY)
        .Finite("skew x", skewX)
        .Finite("skew y", skewY)
        .ok();
}

}  // namespace

ResultCode GuardedVisualProcess::BlendAndTransform(const EffectFrame& overlay, fxPointd anchor,
                                                   const EffectFrame& background, fxPointd backgroundCenter,
                                                   bool backBlank, EffectFrame& out, int32_t blendMode,
                                                   int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul,
                                                   int32_t sampleType, double theta, double scaleX, double scaleY,
                                                   double skewX, double skewY) {
    constexpr const char* kTag = "orvex:BlendAndTransform";
    if (!TransformArgsOk(kTag, anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY) ||
        !Args(kTag).Within("opacity", opacity, 0, 1).ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::BlendAndTransform(Apart(call, 0, {&overlay}, {{&out}}), anchor,
                                            Apart(call, 1, {&background}, {{&out}}), backgroundCenter, backBlank, out,
                                            blendMode, rangeMode, opacity, ovlAlphaPreMul, sampleType, theta, scaleX,
                                            scaleY, skewX, skewY);
}

ResultCode GuardedVisualProcess::Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out,
                                           fxPointd backgroundCenter, int32_t sampleType, double theta, double scaleX,
                                           double scaleY, int32_t rangeMode, bool cpuFlag, double skewX,
                                           double skewY) {
    if (!TransformArgsOk("orvex:Transform", anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY))
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Transform(Apart(call, 0, {&in}, {{&out}}), anchor, out, backgroundCenter, sampleType, theta,
                                    scaleX, scaleY, rangeMode, cpuFlag, skewX, skewY);
}

ResultCode GuardedVisualProcess::BlendMask(const EffectFrame& overlay, fxRectf overlayRoi,
                                           const EffectFrame& background, fxRectf backgroundRoi, EffectFrame& out,
                                           int32_t blendMode) {
    if (!Args("orvex:BlendMask").Finite("overlay_roi", overlayRoi).Finite("background_roi", backgroundRoi).ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::BlendMask(Apart(call, 0, {&overlay}, {{&out}}), overlayRoi,
                                    Apart(call, 1, {&background}, {{&out}}), backgroundRoi, out, blendMode);
}

ResultCode GuardedVisualProcess::Rotate(const EffectFrame& in, EffectFrame& out, double theta, int32_t sampler) {
    if (!Args("orvex:Rotate").Finite("theta", theta).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Rotate(Apart(call, 0, {&in}, {{&out}}), out, theta, sampler);
}

ResultCode GuardedVisualProcess::Motion(const EffectFrame& in, EffectFrame& out, fxRectf sourceRoi,
                                        fxRectf resultRoi) {
    if (!Args("orvex:Motion").Finite("source roi", sourceRoi).Finite("result roi", resultRoi).ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Motion(Apart(call, 0, {&in}, {{&out}}), out, sourceRoi, resultRoi);
}

ResultCode GuardedVisualProcess::PixelRotate(const EffectFrame& in, EffectFrame& out, int32_t rotateType) {
    Outermost call(inside_);
    return VisualProcess::PixelRotate(Apart(call, 0, {&in}, {{&out}}), out, rotateType);
}

ResultCode GuardedVisualProcess::Deinterlace(const EffectFrame& in, EffectFrame& out, int32_t mode) {
    Outermost call(inside_);
    return VisualProcess::Deinterlace(Apart(call, 0, {&in}, {{&out}}), out, mode);
}

ResultCode GuardedVisualProcess::BGRAToBGR(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    const Extent bgrOut{&out, static_cast<size_t>(in.width[0]) * 3, in.height[0]};
    return VisualProcess::BGRAToBGR(Apart(call, 0, {&in}, {bgrOut}), out);
}

ResultCode GuardedVisualProcess::BGRToBGRA(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    const Extent bgrIn{&in, static_cast<size_t>(out.width[0]) * 3, out.height[0]};
    return VisualProcess::BGRToBGRA(Apart(call, 0, bgrIn, {{&out}}), out);
}

ResultCode GuardedVisualProcess::Premultiply(const EffectFrame& in, EffectFrame& out, int32_t alphaType,
                                             bool yMinFlag) {
    Outermost call(inside_);
    return VisualProcess::Premultiply(Apart(call, 0, {&in}, {{&out}}), out, alphaType, yMinFlag);
}

ResultCode GuardedVisualProcess::solidColorBlend(const EffectFrame& overlay, EffectFrame& out, int32_t blue,
                                                 int32_t green, int32_t red, int32_t alpha, int32_t blendMode,
                                                 double opacity, int32_t ovlAlphaPreMul) {
    if (!Args("orvex:solidColorBlend")
             .Within("blue", blue, 0, 255)
             .Within("green", green, 0, 255)
             .Within("red", red, 0, 255)
             .Within("alpha", alpha, 0, 255)
             .Within("opacity", opacity, 0, 1)
             .ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::solidColorBlend(Apart(call, 0, {&overlay}, {{&out}}), out, blue, green, red, alpha,
                                          blendMode, opacity, ovlAlphaPreMul);
}

ResultCode GuardedVisualProcess::CropFrame(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) {
    if (!Args("orvex:CropFrame").Finite("rect", rect).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::CropFrame(Apart(call, 0, {&in}, {{&out}}), rect, out, rangeMode);
}

ResultCode GuardedVisualProcess::ResizeWithPrefilter(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::ResizeWithPrefilter(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::ResizeBlur(const EffectFrame& in, EffectFrame& out, int32_t targetWidth,
                                            int32_t targetHeight, int32_t blurType, int32_t maxRadius) {
    Outermost call(inside_);
    return VisualProcess::ResizeBlur(Apart(call, 0, {&in}, {{&out}}), out, targetWidth, targetHeight, blurType,
                                     maxRadius);
}

ResultCode GuardedVisualProcess::ConvertTo8Bit(const EffectFrame& in, EffectFrame& out, int32_t bitDepth) {
    Outermost call(inside_);
    return VisualProcess::ConvertTo8Bit(Apart(call, 0, {&in}, {{&out}}), out, bitDepth);
}

ResultCode GuardedVisualProcess::NV12ToYV12(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::NV12ToYV12(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::BGRToRGB(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::BGRToRGB(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::PQToHLG(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::PQToHLG(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::YV12ToNV12(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::YV12ToNV12(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::HLGToPQ(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::HLGToPQ(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::BlendMask2(const EffectFrame& first, const EffectFrame& second,
                                            const EffectFrame& alphaFrame, int32_t alphaChannel, EffectFrame& out,
                                            int32_t constAlpha) {
    // The constant alpha is a percentage.
    if (!Args("orvex:BlendMask2").Within("constalpha", constAlpha, 0, 100).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::BlendMask2(Apart(call, 0, {&first}, {{&out}}), Apart(call, 1, {&second}, {{&out}}),
                                     Apart(call, 2, {&alphaFrame}, {{&out}}), alphaChannel, out, constAlpha);
}

ResultCode GuardedVisualProcess::BlendAndTransform_BaseOnBackFrame(const EffectFrame& back, int32_t overlayWidth,
                                                                   int32_t overlayHeight, EffectFrame& out,
                                                                   int32_t sampler, int32_t resizeType) {
    Outermost call(inside_);
    return VisualProcess::BlendAndTransform_BaseOnBackFrame(Apart(call, 0, {&back}, {{&out}}), overlayWidth,
                                                            overlayHeight, out, sampler, resizeType);
}

ResultCode GuardedVisualProcess::BlendAndTransform_BaseOnBackFrame(
    const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background, fxPointd backgroundCenter,
    bool backBlank, EffectFrame& out, int32_t blendMode, int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul,
    int32_t sampleType, double theta, double scaleX, double scaleY, double skewX, double skewY, int32_t samperType,
    int32_t resizeType) {
    constexpr const char* kTag = "orvex:BlendAndTransform_BaseOnBackFrame";
    if (!TransformArgsOk(kTag, anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY) ||
        !Args(kTag).Within("opacity", opacity, 0, 1).ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::BlendAndTransform_BaseOnBackFrame(
        Apart(call, 0, {&overlay}, {{&out}}), anchor, Apart(call, 1, {&background}, {{&out}}), backgroundCenter,
        backBlank, out, blendMode, rangeMode, opacity, ovlAlphaPreMul, sampleType, theta, scaleX, scaleY, skewX, skewY,
        samperType, resizeType);
}

ResultCode GuardedVisualProcess::ChangeColorSpace(const EffectFrame& in, EffectFrame& out,
                                                  const ColorSpace::pl_color_repr* inRepr,
                                                  const ColorSpace::pl_color_space* inSpace,
                                                  const ColorSpace::pl_color_repr* outRepr,
                                                  const ColorSpace::pl_color_space* outSpace) {
    Outermost call(inside_);
    return VisualProcess::ChangeColorSpace(Apart(call, 0, {&in}, {{&out}}), out, inRepr, inSpace, outRepr, outSpace);
}

ResultCode GuardedVisualProcess::FrameInterpolation(const EffectFrame& frame0, const EffectFrame& frame1,
                                                    EffectFrame& out, float factor) {
    if (!Args("orvex:FrameInterpolation").Finite("factor", factor).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::FrameInterpolation(Apart(call, 0, {&frame0}, {{&out}}), Apart(call, 1, {&frame1}, {{&out}}),
                                             out, factor);
}

ResultCode GuardedVisualProcess::overlay(const EffectFrame& background, const EffectFrame& overlayFrame,
                                         EffectFrame& out, int32_t blendingMode, float opacity, int32_t inPlace,
                                         int32_t ovlAlphaPreMul) {
    if (!Args("orvex:overlay").Within("opacity", opacity, 0, 1).ok()) return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::overlay(Apart(call, 0, {&background}, {{&out}}), Apart(call, 1, {&overlayFrame}, {{&out}}),
                                  out, blendingMode, opacity, inPlace, ovlAlphaPreMul);
}

ResultCode GuardedVisualProcess::channelControl(const EffectFrame& background, const EffectFrame& overlay,
                                                EffectFrame& out, int32_t channel) {
    Outermost call(inside_);
    return VisualProcess::channelControl(Apart(call, 0, {&background}, {{&out}}), Apart(call, 1, {&overlay}, {{&out}}),
                                         out, channel);
}

ResultCode GuardedVisualProcess::HDR2SDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode,
                                         ColorSpace::pl_color_primaries inPrimary,
                                         ColorSpace::pl_color_primaries outPrimary) {
    Outermost call(inside_);
    return VisualProcess::HDR2SDR(Apart(call, 0, {&in}, {{&out}}), out, pqMode, inPrimary, outPrimary);
}

ResultCode GuardedVisualProcess::SDR2HDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, int32_t sdrMode) {
    Outermost call(inside_);
    return VisualProcess::SDR2HDR(Apart(call, 0, {&in}, {{&out}}), out, pqMode, sdrMode);
}

ResultCode GuardedVisualProcess::HorizontalFlip(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::HorizontalFlip(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::VerticalFlip(const EffectFrame& in, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::VerticalFlip(Apart(call, 0, {&in}, {{&out}}), out);
}

ResultCode GuardedVisualProcess::viewmaskasresult(const EffectFrame& source, const EffectFrame& mask,
                                                  EffectFrame& out, int32_t backend) {
    Outermost call(inside_);
    return VisualProcess::viewmaskasresult(Apart(call, 0, {&source}, {{&out}}), Apart(call, 1, {&mask}, {{&out}}), out,
                                           backend);
}

ResultCode GuardedVisualProcess::viewmaskasalpha(const EffectFrame& source, const EffectFrame& mask,
                                                 EffectFrame& out, int32_t backend) {
    Outermost call(inside_);
    return VisualProcess::viewmaskasalpha(Apart(call, 0, {&source}, {{&out}}), Apart(call, 1, {&mask}, {{&out}}), out,
                                          backend);
}

ResultCode GuardedVisualProcess::viewmaskassquare(const EffectFrame& source, const EffectFrame& mask,
                                                  EffectFrame& out, int32_t backend) {
    Outermost call(inside_);
    return VisualProcess::viewmaskassquare(Apart(call, 0, {&source}, {{&out}}), Apart(call, 1, {&mask}, {{&out}}), out,
                                           backend);
}

ResultCode GuardedVisualProcess::viewmaskascolormask(const EffectFrame& source, const EffectFrame& mask,
                                                     uint32_t colour, EffectFrame& out, int32_t backend) {
    Outermost call(inside_);
    return VisualProcess::viewmaskascolormask(Apart(call, 0, {&source}, {{&out}}), Apart(call, 1, {&mask}, {{&out}}),
                                              colour, out, backend);
}

ResultCode GuardedVisualProcess::Motion_Animation(const EffectFrame& in, EffectFrame& out,
                                                  const MotionAnimationParam& param) {
    if (!Args("orvex:Motion_Animation")
             .Finite("scale_x", param.scale_x)
             .Finite("scale_y", param.scale_y)
             .Finite("Rotation", param.Rotation)
             .Finite("anchor_center", fxPointd{param.anchor_center[0], param.anchor_center[1]})
             .Finite("background_center", fxPointd{param.background_center[0], param.background_center[1]})
             .Finite("idealwidth", param.idealwidth)
             .Finite("idealheight", param.idealheight)
             .Finite("skew_x", param.skew_x)
             .Finite("skew_y", param.skew_y)
             .ok())
        return InvalidArgument;
    Outermost call(inside_);
    return VisualProcess::Motion_Animation(Apart(call, 0, {&in}, {{&out}}), out, param);
}

ResultCode GuardedVisualProcess::Do_Gradient(EffectFrame& out, int32_t type, const GradientData& gradient) {
    Args args("orvex:Do_Gradient");
    args.Finite("angle", gradient.angle);
    for (int i = 0; i < 2; ++i) args.Finite("posX", gradient.posX[i]).Finite("posY", gradient.posY[i]);
    // Stops past the count are not read, and a host need not fill them.
    for (int i = 0; i < std::min(gradient.count, 10); ++i) args.Finite("precent", gradient.precent[i]);
    if (!args.ok()) return InvalidArgument;
    return VisualProcess::Do_Gradient(out, type, gradient);
}

ResultCode GuardedVisualProcess::Blend_Mask_NoType(const EffectFrame& overlay, const EffectFrame& background,
                                                   const EffectFrame& mask, EffectFrame& out) {
    Outermost call(inside_);
    return VisualProcess::Blend_Mask_NoType(Apart(call, 0, {&overlay}, {{&out}}),
                                            Apart(call, 1, {&background}, {{&out}}), Apart(call, 2, {&mask}, {{&out}}),
                                            out);
}

}  // namespace orvex
