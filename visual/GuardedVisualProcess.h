#pragma once
// The visual-processing object hosts receive: every frame operation first refuses scalar arguments
// outside their domain, and reads an input that partly overlaps its output from a copy, then runs
// the routine of VisualProcess. Identical frames (same planes, pitches, format and size) are an
// in-place call and reach the routine as they are.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "visual/VisualProcess.h"

namespace orvex {

class GuardedVisualProcess final : public VisualProcess {
public:
    using VisualProcess::BlendAndTransform_BaseOnBackFrame;
    using VisualProcess::Convert;

    ResultCode Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space, const EffectFrame& in,
                       EffectFrame& intermediate, EffectFrame& out, int32_t resizeType, int32_t quality,
                       int32_t alphaMode) override;
    ResultCode Resize(const EffectFrame& in, EffectFrame& out, int32_t resizeType, int32_t quality) override;
    ResultCode Blend(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                     fxRectf backgroundRoi, EffectFrame& out, int32_t sampler, int32_t blendMode, double opacity,
                     int32_t ovlAlphaPreMul) override;
    ResultCode CenterPointAlignBlend(const EffectFrame& overlay, fxRectf overlayRect, const EffectFrame& background,
                                     fxRectf backgroundPos, bool backBlank, EffectFrame& out, int32_t blendMode,
                                     float opacity, int32_t ovlAlphaPreMul, float offsetX, float offsetY,
                                     bool useWarpAffine) override;
    ResultCode BlendAndTransform(const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background,
                                 fxPointd backgroundCenter, bool backBlank, EffectFrame& out, int32_t blendMode,
                                 int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul, int32_t sampleType,
                                 double theta, double scaleX, double scaleY, double skewX, double skewY) override;
    ResultCode Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out, fxPointd backgroundCenter,
                         int32_t sampleType, double theta, double scaleX, double scaleY, int32_t rangeMode,
                         bool cpuFlag, double skewX, double skewY) override;
    ResultCode BlendMask(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                         fxRectf backgroundRoi, EffectFrame& out, int32_t blendMode) override;
    ResultCode Rotate(const EffectFrame& in, EffectFrame& out, double theta, int32_t sampler) override;
    ResultCode Motion(const EffectFrame& in, EffectFrame& out, fxRectf sourceRoi, fxRectf resultRoi) override;
    ResultCode PixelRotate(const EffectFrame& in, EffectFrame& out, int32_t rotateType) override;
    ResultCode Deinterlace(const EffectFrame& in, EffectFrame& out, int32_t mode) override;
    ResultCode BGRAToBGR(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BGRToBGRA(const EffectFrame& in, EffectFrame& out) override;
    ResultCode Premultiply(const EffectFrame& in, EffectFrame& out, int32_t alphaType, bool yMinFlag) override;
    ResultCode solidColorBlend(const EffectFrame& overlay, EffectFrame& out, int32_t blue, int32_t green, int32_t red,
                               int32_t alpha, int32_t blendMode, double opacity, int32_t ovlAlphaPreMul) override;
    ResultCode CropFrame(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) override;
    ResultCode ResizeWithPrefilter(const EffectFrame& in, EffectFrame& out) override;
    ResultCode ResizeBlur(const EffectFrame& in, EffectFrame& out, int32_t targetWidth, int32_t targetHeight,
                          int32_t blurType, int32_t maxRadius) override;
    ResultCode ConvertTo8Bit(const EffectFrame& in, EffectFrame& out, int32_t bitDepth) override;
    ResultCode NV12ToYV12(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BGRToRGB(const EffectFrame& in, EffectFrame& out) override;
    ResultCode PQToHLG(const EffectFrame& in, EffectFrame& out) override;
    ResultCode YV12ToNV12(const EffectFrame& in, EffectFrame& out) override;
    ResultCode HLGToPQ(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BlendMask2(const EffectFrame& first, const EffectFrame& second, const EffectFrame& alphaFrame,
                          int32_t alphaChannel, EffectFrame& out, int32_t constAlpha) override;
    ResultCode BlendAndTransform_BaseOnBackFrame(const EffectFrame& back, int32_t overlayWidth,
                                                 int32_t overlayHeight, EffectFrame& out, int32_t sampler,
                                                 int32_t resizeType) override;
    ResultCode BlendAndTransform_BaseOnBackFrame(const EffectFrame& overlay, fxPointd anchor,
                                                 const EffectFrame& background, fxPointd backgroundCenter,
                                                 bool backBlank, EffectFrame& out, int32_t blendMode,
                                                 int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul,
                                                 int32_t sampleType, double theta, double scaleX, double scaleY,
                                                 double skewX, double skewY, int32_t samperType,
                                                 int32_t resizeType) override;
    ResultCode ChangeColorSpace(const EffectFrame& in, EffectFrame& out, const ColorSpace::pl_color_repr* inRepr,
                                const ColorSpace::pl_color_space* inSpace, const ColorSpace::pl_color_repr* outRepr,
                                const ColorSpace::pl_color_space* outSpace) override;
    ResultCode FrameInterpolation(const EffectFrame& frame0, const EffectFrame& frame1, EffectFrame& out,
                                  float factor) override;
    ResultCode overlay(const EffectFrame& background, const EffectFrame& overlayFrame, EffectFrame& out,
                       int32_t blendingMode, float opacity, int32_t inPlace, int32_t ovlAlphaPreMul) override;
    ResultCode channelControl(const EffectFrame& background, const EffectFrame& overlay, EffectFrame& out,
                              int32_t channel) override;
    ResultCode HDR2SDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, ColorSpace::pl_color_primaries inPrimary,
                       ColorSpace::pl_color_primaries outPrimary) override;
    ResultCode SDR2HDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, int32_t sdrMode) override;
    ResultCode HorizontalFlip(const EffectFrame& in, EffectFrame& out) override;
    ResultCode VerticalFlip(const EffectFrame& in, EffectFrame& out) override;
    ResultCode viewmaskasresult(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                int32_t backend) override;
    ResultCode viewmaskasalpha(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                               int32_t backend) override;
    ResultCode viewmaskassquare(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                int32_t backend) override;
    ResultCode viewmaskascolormask(const EffectFrame& source, const EffectFrame& mask, uint32_t colour,
                                   EffectFrame& out, int32_t backend) override;
    ResultCode Motion_Animation(const EffectFrame& in, EffectFrame& out, const MotionAnimationParam& param) override;
    ResultCode Do_Gradient(EffectFrame& out, int32_t type, const GradientData& gradient) override;
    ResultCode Blend_Mask_NoType(const EffectFrame& overlay, const EffectFrame& background, const EffectFrame& mask,
                                 EffectFrame& out) override;

    // How a frame's bytes are found: from its format, or, for the 3-byte BGR side of the BGR
    // conversions (a layout no pixel format names), rows of `bgrRowBytes` over `bgrRows` rows.
    struct Extent {
        const EffectFrame* frame;
        size_t bgrRowBytes = 0;
        uint32_t bgrRows = 0;
    };

private:
    // Routines may call other slots of this object: only the outermost call copies, so a nested
    // call never refills a scratch that its caller is reading.
    struct Outermost {
        explicit Outermost(bool& flag) : flag_(flag), outer_(!flag) { flag_ = true; }
        ~Outermost() {
            if (outer_) flag_ = false;
        }
        Outermost(const Outermost&) = delete;
        Outermost& operator=(const Outermost&) = delete;
        bool& flag_;
        bool outer_;
    };
    bool inside_ = false;

    // `in` itself, or its copy in the scratch of input position `slot` when it partly overlaps one
    // of the outputs, so that no routine reads bytes it has already written.
    const EffectFrame& Apart(const Outermost& call, int slot, Extent in, std::initializer_list<Extent> outputs);

    std::vector<uint8_t> scratch_[3];
    EffectFrame copies_[3];
};

}  // namespace orvex
